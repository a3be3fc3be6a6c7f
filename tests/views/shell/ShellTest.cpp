#include "views/shell/DetailArea.h"
#include "views/shell/SectionPlaceholder.h"
#include "views/shell/SectionRail.h"

#include "state/AppState.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>

using namespace tarnwick;

namespace {

MapServices servicesWithCache(const QString& rootName, const QDateTime& date) {
    MapServices services = test::testServices();
    services.loadCache = [rootName, date] {
        CachedScan cached;
        cached.rootPath = QStringLiteral("/Volumes/") + rootName;
        cached.rootName = rootName;
        cached.scannedAt = date;
        cached.root = ScanNode::create(QUuid::createUuid(), rootName, cached.rootPath, NodeKind::dir, 0);
        cached.insights = ScanInsights::empty();
        return std::optional<CachedScan>(cached);
    };
    return services;
}

}  // namespace

// Which tree the card names across scans, cancels and restores is checked on
// the state in AppStateScanTest.
TEST(SectionRail, LastMapCardNamesTheMapOnScreenAcrossScans) {
    test::FakeEnvironment environment;
    const QDateTime now(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
    environment.setNow(now);
    test::HeldWalks walks;
    MapServices services = servicesWithCache("Backup", now.addSecs(-2 * 3600));
    services.makeWalk = [&walks](const QString& rootPath) { return walks.make(rootPath); };
    services.saveCache = nullptr;
    AppState state(services);
    state.start();
    SectionRail rail(state);
    rail.resize(SectionRail::railWidth, 720);
    rail.show();
    // The cached scan arrives after start-up; the card follows it.
    ASSERT_TRUE(test::waitUntil([&] { return !state.isRestoringCache(); }));
    EXPECT_TRUE(rail.lastMapCard()->isVisible());
    const QString cached = QStringLiteral("Backup \u00B7 2 hr. ago");
    EXPECT_EQ(rail.shownSummary(), cached);

    // The finished scan's tree replaces it, with its own age.
    state.startScan(environment.path("Music"));
    walks.at(0)->released = true;
    ASSERT_TRUE(test::waitUntil([&] { return state.screen() == AppState::Screen::idle; }));
    EXPECT_TRUE(rail.shownSummary().startsWith(QStringLiteral("Music \u00B7 "))) << rail.shownSummary().toStdString();

    // A long name wraps to a second line and is cut after it.
    AppState longState(servicesWithCache(QString("Very Long Volume Name ").repeated(8).trimmed(), now.addSecs(-60)));
    ASSERT_TRUE(test::startAndRestore(longState));
    SectionRail longRail(longState);
    longRail.show();
    const QStringList lines = longRail.shownSummary().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\u2026")));
}

TEST(SectionRail, FitToLinesWrapsAndCuts) {
    const QFont font;
    const QFontMetrics metrics(font);
    EXPECT_EQ(SectionRail::fitToLines("short", font, 500, 2), "short");

    const QString text = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu";
    const int width = metrics.horizontalAdvance("alpha beta gamma") + 2;
    const QStringList lines = SectionRail::fitToLines(text, font, width, 2).split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "alpha beta gamma");
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\u2026")));
    for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), width);

    // Text that fits in two lines is not cut.
    const QString two = "alpha beta gamma delta";
    EXPECT_EQ(SectionRail::fitToLines(two, font, width, 2), "alpha beta gamma\ndelta");
}

TEST(DetailArea, PlaceholdersAndFactories) {
    test::FakeEnvironment environment;
    AppState state(test::testServices());
    state.start();
    DetailArea area(state);
    area.show();

    EXPECT_NE(qobject_cast<SectionPlaceholder*>(area.currentScreen()), nullptr) << "nothing registered";
    int built = 0;
    area.setScreenFactory(AppSection::map, [&built](AppState&) {
        ++built;
        return new QLabel(QStringLiteral("map screen"));
    });
    EXPECT_EQ(built, 0);  // built when first needed
    state.openSection(AppSection::map);
    ASSERT_EQ(built, 1);
    EXPECT_EQ(qobject_cast<QLabel*>(area.currentScreen())->text(), "map screen");
    state.openSection(AppSection::activity);
    state.openSection(AppSection::map);
    EXPECT_EQ(built, 1);  // kept, not built again

    // Replacing the factory replaces the screen on display.
    area.setScreenFactory(AppSection::map, [](AppState&) { return new QLabel(QStringLiteral("new map")); });
    EXPECT_EQ(qobject_cast<QLabel*>(area.currentScreen())->text(), "new map");
    // The scanning screen taking over is driven through the application in TarnwickAppTest.
}
