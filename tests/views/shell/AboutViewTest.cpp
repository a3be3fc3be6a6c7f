#include "views/shell/AboutView.h"

#include <gtest/gtest.h>

using namespace tarnwick;

// Close, Escape and Website are driven through the application in TarnwickAppTest.
TEST(AboutView, VersionLineFallsBackForMissingOrNonTextValues) {
    const QString suffix = QStringLiteral(" \u00B7 com.merrowfield4.tarnwick");
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", "2.3"}, {"buildNumber", "57"}}),
              "Version 2.3 (57)" + suffix);
    EXPECT_EQ(AboutView::versionLine(QVariantMap()), "Version 1.0 (1)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", "2.3"}, {"buildNumber", 57}}), "Version 2.3 (1)" + suffix);
    EXPECT_EQ(AboutView::versionLine({{"shortVersion", 2.3}, {"buildNumber", "8"}}), "Version 1.0 (8)" + suffix);
    // This build's line carries the version and build number it was made with.
    EXPECT_EQ(AboutView::versionLine(),
              QStringLiteral("Version " TARNWICK_VERSION " (" TARNWICK_BUILD_NUMBER ")") + suffix);
}
