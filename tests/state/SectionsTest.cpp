#include "models/AnalysisTab.h"
#include "models/AppSection.h"
#include "models/MapStyle.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

// The titles are shown and stored; they are read back only when they match exactly.
TEST(AppSectionTest, StoredTitlesReadBackExactly) {
    for (AppSection section : allAppSections()) EXPECT_EQ(appSectionFromRawValue(rawValue(section)), section);
    for (const char* text : {"junk", " Junk", "Junk ", "cleanup", ""}) EXPECT_FALSE(appSectionFromRawValue(text)) << text;
    for (MapStyle style : allMapStyles()) EXPECT_EQ(mapStyleFromRawValue(rawValue(style)), style);
    EXPECT_FALSE(mapStyleFromRawValue("bars"));
    for (AnalysisTab tab : allAnalysisTabs()) EXPECT_EQ(analysisTabFromRawValue(rawValue(tab)), tab);
    EXPECT_FALSE(analysisTabFromRawValue("largest"));
}

}  // namespace
}  // namespace tarnwick
