#include "models/CleanupCategory.h"
#include "models/ClutterItem.h"
#include "models/InstalledApp.h"
#include "models/MaintenanceTask.h"
#include "models/PerformanceItem.h"
#include "models/ProtectionFinding.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(CleanupCategory, FourteenCasesWithTheirTextsRoundTrip) {
    const auto& all = allCleanupCategories();
    ASSERT_EQ(all.size(), 14);
    EXPECT_EQ(all.first(), CleanupCategory::caches);
    EXPECT_EQ(all.last(), CleanupCategory::duplicates);
    for (CleanupCategory category : all) {
        EXPECT_EQ(cleanupCategoryFromRawValue(rawValue(category)), category) << rawValue(category).toStdString();
        EXPECT_FALSE(icon(category).isEmpty());
        EXPECT_FALSE(blurb(category).isEmpty());
    }
    EXPECT_EQ(rawValue(CleanupCategory::temp), QStringLiteral("Temp / Incomplete"));
    EXPECT_EQ(icon(CleanupCategory::docker), QStringLiteral("shippingbox.and.arrow.backward"));
    EXPECT_EQ(blurb(CleanupCategory::xcode), QStringLiteral("DerivedData & device support — Xcode rebuilds these"));
    EXPECT_EQ(rawValue(CleanupCategory::duplicates), QStringLiteral("Duplicates"));
    EXPECT_FALSE(cleanupCategoryFromRawValue(QStringLiteral("app caches")));
    EXPECT_FALSE(cleanupCategoryFromRawValue(QString()));
}

TEST(ItemKinds, RawValuesAreExactAndOrdered) {
    ASSERT_EQ(allClutterKinds().size(), 7);
    EXPECT_EQ(rawValue(allClutterKinds()[3]), QStringLiteral("Large & Old"));
    for (auto kind : allClutterKinds()) EXPECT_EQ(clutterKindFromRawValue(rawValue(kind)), kind);
    EXPECT_FALSE(clutterKindFromRawValue(QStringLiteral("trash")));

    EXPECT_EQ(performanceKindFromRawValue(QStringLiteral("Launch daemon")), PerformanceItem::Kind::launchDaemon);
    EXPECT_FALSE(performanceKindFromRawValue(QStringLiteral("launch daemon")));

    ASSERT_EQ(allProtectionKinds().size(), 6);
    for (auto kind : allProtectionKinds()) EXPECT_EQ(protectionKindFromRawValue(rawValue(kind)), kind);
    EXPECT_EQ(severityFromRawValue(QStringLiteral("high")), ProtectionFinding::Severity::high);
    EXPECT_FALSE(severityFromRawValue(QStringLiteral("HIGH")));
    EXPECT_LT(ProtectionFinding::Severity::low, ProtectionFinding::Severity::medium);
    EXPECT_LT(ProtectionFinding::Severity::medium, ProtectionFinding::Severity::high);

    ASSERT_EQ(allMaintenanceKinds().size(), 6);
    for (auto kind : allMaintenanceKinds()) {
        EXPECT_EQ(maintenanceKindFromRawValue(rawValue(kind)), kind);
        EXPECT_FALSE(description(kind).isEmpty());
        ASSERT_FALSE(commands(kind).isEmpty());
        EXPECT_TRUE(commands(kind).first().first().startsWith(QLatin1Char('/')));
    }
    EXPECT_EQ(commands(MaintenanceTask::Kind::flushDNS).size(), 2);
}

TEST(InstalledApp, LeftoverBytesSumWithoutWrapping) {
    InstalledApp app;
    EXPECT_EQ(app.leftoversBytes(), 0);
    app.leftovers = {{.path = QStringLiteral("/a"), .size = 5}, {.path = QStringLiteral("/b"), .size = 7}};
    EXPECT_EQ(app.leftoversBytes(), 12);
    app.leftovers.append({.path = QStringLiteral("/c"), .size = std::numeric_limits<qint64>::max()});
    EXPECT_EQ(app.leftoversBytes(), std::numeric_limits<qint64>::max());
}
