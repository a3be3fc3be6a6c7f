#include "models/AnalysisTab.h"
#include "models/AppSection.h"
#include "models/MapStyle.h"

#include <gtest/gtest.h>

#include <QSet>

namespace tarnwick {
namespace {

// The titles are shown and stored; they are read back only when they match exactly.
// (Their order is checked where they are shown: the section rail and the Go menu.)
TEST(AppSectionTest, TitlesRoundTripExactlyAndIconsAreDistinct) {
    QSet<QString> icons;
    for (AppSection section : allAppSections()) {
        EXPECT_EQ(appSectionFromRawValue(rawValue(section)), section);
        icons.insert(iconName(section));
    }
    EXPECT_EQ(icons.size(), allAppSections().size());
    EXPECT_EQ(rawValue(AppSection::cleanup), "Junk");
    for (const char* text : {"junk", " Junk", "Junk ", "cleanup", ""}) EXPECT_FALSE(appSectionFromRawValue(text)) << text;
    EXPECT_EQ(qHash(AppSection::apps), qHash(QStringLiteral("Apps")));

    for (MapStyle style : allMapStyles()) EXPECT_EQ(mapStyleFromRawValue(rawValue(style)), style);
    EXPECT_FALSE(mapStyleFromRawValue("bars"));
    for (AnalysisTab tab : allAnalysisTabs()) EXPECT_EQ(analysisTabFromRawValue(rawValue(tab)), tab);
    EXPECT_EQ(rawValue(AnalysisTab::largest), "Largest");
    EXPECT_FALSE(analysisTabFromRawValue("largest"));
    EXPECT_EQ(qHash(AnalysisTab::types), qHash(QStringLiteral("Types")));
}

}  // namespace
}  // namespace tarnwick
