#include "views/shell/AboutView.h"

#include "state/AppState.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace tarnwick;

TEST(AboutView, VersionLineFallsBackForMissingOrNonTextValues) {
    const QString suffix = QStringLiteral(" \u00B7 com.merrowfield4.tarnwick");
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", "2.3"}, {"buildNumber", "57"}}),
              "Version 2.3 (57)" + suffix);
    EXPECT_EQ(AboutView::versionLine(QVariantMap()), "Version 1.0 (1)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", "2.3"}, {"buildNumber", 57}}), "Version 2.3 (1)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", 2.3}, {"buildNumber", "8"}}), "Version 1.0 (8)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"buildNumber", "9"}, {"other", "x"}}), "Version 1.0 (9)" + suffix);

    // This build's line carries the version and build number it was made with.
    EXPECT_EQ(AboutView::versionLine(),
              QStringLiteral("Version " TARNWICK_VERSION " (" TARNWICK_BUILD_NUMBER ")") + suffix);
}

// Close, Escape and Website are driven through the application in TarnwickAppTest.
TEST(AboutView, ShowsNameTaglineAndVersion) {
    test::FakeEnvironment environment;
    AppState state(test::testServices());
    AboutView sheet(state);
    sheet.show();
    QStringList texts;
    for (QLabel* label : sheet.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Tarnwick"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Reclaim your computer \u2014 map, clean, protect.")));
    EXPECT_TRUE(texts.contains(AboutView::versionLine()));
}
