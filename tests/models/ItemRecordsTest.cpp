#include "models/CleanupCategory.h"
#include "models/ClutterItem.h"
#include "models/InstalledApp.h"
#include "models/MaintenanceTask.h"
#include "models/PerformanceItem.h"
#include "models/ProtectionFinding.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

// The texts are stored in saved settings and results: every case reads back from its own text,
// and reading is exact (no case folding, no empty text).
TEST(ItemKinds, RawValuesRoundTripExactly) {
    for (CleanupCategory category : allCleanupCategories()) {
        EXPECT_EQ(cleanupCategoryFromRawValue(rawValue(category)), category) << rawValue(category).toStdString();
    }
    for (auto kind : allClutterKinds()) EXPECT_EQ(clutterKindFromRawValue(rawValue(kind)), kind);
    for (auto kind : allProtectionKinds()) EXPECT_EQ(protectionKindFromRawValue(rawValue(kind)), kind);
    for (auto kind : allMaintenanceKinds()) EXPECT_EQ(maintenanceKindFromRawValue(rawValue(kind)), kind);
    EXPECT_FALSE(cleanupCategoryFromRawValue(QString()));
    EXPECT_FALSE(clutterKindFromRawValue(QStringLiteral("trash")));
    EXPECT_FALSE(performanceKindFromRawValue(QStringLiteral("system service")));
    EXPECT_FALSE(severityFromRawValue(QStringLiteral("HIGH")));
    EXPECT_LT(ProtectionFinding::Severity::low, ProtectionFinding::Severity::medium);  // the trims rank by it
    EXPECT_LT(ProtectionFinding::Severity::medium, ProtectionFinding::Severity::high);
}

TEST(InstalledApp, LeftoverBytesSumWithoutWrapping) {
    InstalledApp app;
    app.leftovers = {{.path = QStringLiteral("/a"), .size = 5}, {.path = QStringLiteral("/b"), .size = 7}};
    EXPECT_EQ(app.leftoversBytes(), 12);
    app.leftovers.append({.path = QStringLiteral("/c"), .size = std::numeric_limits<qint64>::max()});
    EXPECT_EQ(app.leftoversBytes(), std::numeric_limits<qint64>::max());
}
