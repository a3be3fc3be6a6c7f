#include "pictures/ScreenPictures.h"

#include "pictures/DemoComputer.h"
#include "services/cleanup/AppUninstallerService.h"
#include "services/cleanup/AppUpdaterService.h"
#include "services/cleanup/CleanupService.h"
#include "services/cleanup/ClutterService.h"
#include "services/health/PerformanceService.h"
#include "services/health/PrivacyService.h"
#include "services/health/ProtectionService.h"
#include "support/PathRules.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>

using namespace tarnwick;
using Row = ScreenPictures::Row;

namespace {

// How many different colours a grid of samples over the rectangle finds.
int distinctColours(const QImage& image, const QRect& area, int step = 6) {
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); y += step) {
        for (int x = area.left(); x <= area.right(); x += step) colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

QString place(const QString& path) {
    return PathRules::abbreviatingWithTilde(path);
}

// Rows in one order: the screens group them into cards, the finders sort them by size.
QList<Row> sorted(QList<Row> rows) {
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return std::pair(a.place, a.size) < std::pair(b.place, b.size); });
    return rows;
}

std::string listed(const QList<Row>& rows) {
    std::string text;
    for (const Row& row : rows) text += row.place.toStdString() + " " + std::to_string(row.size) + "\n";
    return text;
}

// What each module screen should show: the real finders' findings on a
// made-up computer of its own, as the screens name them.
struct Findings {
    QHash<QString, QList<Row>> rows;  // by picture, as ScreenPictures reports them
    QSet<QString> selected;           // the places "Clean recommended" is asked to move
    QSet<QString> selectedJunkAndClutter;
};

Findings findingsOnTheMadeUpComputer(const QString& folder) {
    QString error;
    const std::optional<Environment> computer = DemoComputer::write(folder, &error);
    EXPECT_TRUE(computer) << error.toStdString();
    if (!computer) return {};
    Environment::Scope scope(*computer);
    Findings found;
    QList<Row>& junk = found.rows[QStringLiteral("junk.png")];
    for (const CleanupItem& item : CleanupService::scan({})) {
        junk.append(Row{place(item.path), item.size});
        if (item.isSelected) found.selectedJunkAndClutter.insert(place(item.path));
    }
    QList<Row>& clutter = found.rows[QStringLiteral("clutter.png")];
    for (const ClutterItem& item : ClutterService::scan({})) {
        clutter.append(Row{place(item.path), item.size});
        if (item.isSelected) found.selectedJunkAndClutter.insert(place(item.path));
    }
    found.selected = found.selectedJunkAndClutter;
    for (const InstalledApp& app : AppUninstallerService::scan({})) {
        found.rows[QStringLiteral("apps.png")].append(Row{place(app.path), app.size});
    }
    for (const AppUpdateItem& item : AppUpdaterService::scan({})) {
        found.rows[QStringLiteral("apps-updates.png")].append(Row{place(item.path), 0});
    }
    for (const ProtectionFinding& finding : ProtectionService::scan({})) {
        found.rows[QStringLiteral("protection.png")].append(Row{place(finding.path), 0});
    }
    for (const PrivacyItem& item : PrivacyService::scan({})) {
        found.rows[QStringLiteral("protection-privacy.png")].append(Row{place(item.path), item.size});
        if (item.isSelected) found.selected.insert(place(item.path));
    }
    for (const PerformanceItem& item : PerformanceService::scan({})) {
        found.rows[QStringLiteral("performance.png")].append(Row{item.path ? place(*item.path) : item.detail, 0});
    }
    found.rows[QStringLiteral("junk-empty.png")] = {};
    return found;
}

}  // namespace

TEST(ScreenPictures, RendersEveryScreenFromWhatTheFindersFindOnTheMadeUpComputer) {
    QTemporaryDir output;
    const ScreenPictures::Outcome outcome = ScreenPictures::render(output.path() + "/screens");
    EXPECT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
    ASSERT_EQ(outcome.written.size(), ScreenPictures::fileNames().size());
    for (const QString& path : outcome.written) {
        SCOPED_TRACE(path.toStdString());
        const QImage image(path);
        ASSERT_FALSE(image.isNull());
        EXPECT_GT(QFileInfo(path).size(), 20'000);
        if (path.endsWith("menu-bar-panel.png")) {
            // The tray panel alone: its own width, and tiles rather than one flat colour.
            EXPECT_EQ(image.width(), 344);
            EXPECT_GT(distinctColours(image, image.rect().adjusted(10, 10, -10, -10)), 40);
            continue;
        }
        EXPECT_GE(image.width(), 1100);
        EXPECT_GE(image.height(), 720);
        // The detail area (right of the section rail) holds a real screen, not one flat colour.
        EXPECT_GT(distinctColours(image, QRect(220, 40, image.width() - 240, image.height() - 60)), 40);
    }

    // Each module picture shows what the real finders find on the made-up
    // computer, row for row (none made up, none lost), and each finds something.
    QTemporaryDir scratch;
    const Findings found = findingsOnTheMadeUpComputer(scratch.path() + "/computer");
    for (auto it = found.rows.cbegin(); it != found.rows.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        ASSERT_TRUE(outcome.rows.contains(it.key()));
        const QList<Row> shown = sorted(outcome.rows.value(it.key()));
        const QList<Row> expected = sorted(it.value());
        EXPECT_EQ(shown, expected) << "shown:\n" << listed(shown) << "found:\n" << listed(expected);
        if (it.key() != "junk-empty.png") {
            EXPECT_FALSE(expected.isEmpty()) << "the made-up computer gives it rows";
        }
    }

    // The Safe Bin holds what "Clean recommended" moved after the pass: only
    // what was selected, every selected junk and clutter finding, each with
    // the room it takes.
    const QList<Row> binned = outcome.rows.value("safe-bin.png");
    ASSERT_FALSE(binned.isEmpty());
    QSet<QString> binnedPlaces;
    for (const Row& row : binned) {
        EXPECT_TRUE(found.selected.contains(row.place)) << row.place.toStdString();
        EXPECT_GT(row.size, 0) << row.place.toStdString();
        binnedPlaces.insert(row.place);
    }
    for (const QString& selected : found.selectedJunkAndClutter) {
        EXPECT_TRUE(binnedPlaces.contains(selected)) << selected.toStdString();
    }
}
