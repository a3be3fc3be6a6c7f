#include "models/AnalysisTab.h"
#include "models/AppSection.h"
#include "models/MapStyle.h"

#include <gtest/gtest.h>

#include <QSet>

namespace tarnwick {
namespace {

TEST(AppSectionTest, TitlesIconsAndOrder) {
    const QList<AppSection>& all = allAppSections();
    ASSERT_EQ(all.size(), 10);
    QStringList titles;
    for (AppSection section : all) titles.append(rawValue(section));
    EXPECT_EQ(titles, (QStringList{"Vidur Aded", "Space Map", "Junk", "Apps", "Clutter", "Performance", "Protection",
                                   "Insights", "Activity", "Safe Bin"}));
    EXPECT_EQ(rawValue(AppSection::cleanup), "Junk");
    EXPECT_EQ(rawValue(AppSection::home), "Vidur Aded");
    EXPECT_EQ(iconName(AppSection::home), "heart.text.square.fill");
    EXPECT_EQ(iconName(AppSection::map), "circle.hexagongrid.fill");
    EXPECT_EQ(iconName(AppSection::protection), "shield.lefthalf.filled");
    EXPECT_EQ(iconName(AppSection::safeBin), "tray.full.fill");
    QSet<QString> icons;
    for (AppSection section : all) icons.insert(iconName(section));
    EXPECT_EQ(icons.size(), 10);
}

TEST(AppSectionTest, BuiltOnlyFromExactTitles) {
    for (AppSection section : allAppSections()) EXPECT_EQ(appSectionFromRawValue(rawValue(section)), section);
    EXPECT_EQ(appSectionFromRawValue("Safe Bin"), AppSection::safeBin);
    EXPECT_FALSE(appSectionFromRawValue("junk"));
    EXPECT_FALSE(appSectionFromRawValue(" Junk"));
    EXPECT_FALSE(appSectionFromRawValue("Junk "));
    EXPECT_FALSE(appSectionFromRawValue("cleanup"));
    EXPECT_FALSE(appSectionFromRawValue(""));
    EXPECT_EQ(qHash(AppSection::apps), qHash(QStringLiteral("Apps")));
}

TEST(MapStyleTest, RawValuesAndConstruction) {
    QStringList titles;
    for (MapStyle style : allMapStyles()) titles.append(rawValue(style));
    EXPECT_EQ(titles, (QStringList{"Sunburst", "Treemap", "Bars", "Rings"}));
    EXPECT_EQ(mapStyleFromRawValue("Bars"), MapStyle::bars);
    EXPECT_FALSE(mapStyleFromRawValue("bars"));
    EXPECT_FALSE(mapStyleFromRawValue(""));
}

TEST(AnalysisTabTest, RawValuesAndConstruction) {
    QStringList titles;
    for (AnalysisTab tab : allAnalysisTabs()) titles.append(rawValue(tab));
    EXPECT_EQ(titles, (QStringList{"Map", "Largest", "Oldest", "Types"}));
    EXPECT_EQ(analysisTabFromRawValue("Largest"), AnalysisTab::largest);
    EXPECT_FALSE(analysisTabFromRawValue("largest"));
    EXPECT_FALSE(analysisTabFromRawValue(""));
    EXPECT_EQ(qHash(AnalysisTab::types), qHash(QStringLiteral("Types")));
}

}  // namespace
}  // namespace tarnwick
