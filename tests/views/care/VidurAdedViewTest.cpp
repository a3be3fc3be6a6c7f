#include "views/care/VidurAdedView.h"

#include "design/TaldoButton.h"
#include "design/TaldoTheme.h"
#include "services/care/ScheduleService.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/care/HealthGauge.h"
#include "views/care/HeroGlassCard.h"
#include "views/care/HourStepper.h"
#include "views/care/ScheduleCard.h"
#include "views/care/ScheduleSwitch.h"
#include "views/care/VidurAdedMetricTile.h"
#include "views/care/VidurAdedToolTile.h"
#include "design/TaldoHoverGlass.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/KeyboardSupport.h"
#include "views/PaintCheck.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCoreApplication>
#include <QThread>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSettings>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

using namespace tarnwick;

namespace {

constexpr qint64 kGB = 1000LL * 1000 * 1000;
using View = VidurAdedView;
using T = TaldoTheme;

VolumeInfo volume(qint64 total, qint64 free, bool root = true, const QString& name = QStringLiteral("Work Disk")) {
    return VolumeInfo{"/", name, "/", "/", total, free, root, std::nullopt};
}

VidurAdedResult scored(int score) {
    VidurAdedResult result;
    result.healthScore = score;
    result.finishedAt = QDateTime(QDate(2024, 5, 2), QTime(10, 15));
    return result;
}

// A click as the pointer makes it, sent to a widget (and up its parents while nobody takes it).
void clickOn(QWidget* target, QPoint at = {}) {
    if (at.isNull()) at = target->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void hover(QWidget* target, bool over) {
    if (over) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(target, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(target, &leave);
    }
}

}  // namespace

// ---- Pure parts ----

TEST(VidurAdedGauge, FillIsTheRootVolumesFreeFractionAtLeastFourPercent) {
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000 * kGB, 250 * kGB), std::nullopt), 0.25);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, std::nullopt), 0.52) << "no volume";
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000 * kGB, 0), std::nullopt), 0.04) << "a full volume";
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000 * kGB, 30 * kGB), std::nullopt), 0.04);
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000 * kGB, 1000 * kGB), std::nullopt), 1.0) << "nothing used";
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000 * kGB, 1200 * kGB), std::nullopt), 1.0) << "free above total";
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(0, 0), std::nullopt), 1.0) << "no total: no division";
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(-5, 10), std::nullopt), 1.0);
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000, -200), std::nullopt), 0.04) << "used above total";
    // Blocks kept for the superuser count as free, as df and the map count them.
    VolumeInfo reserved = volume(1000 * kGB, 20 * kGB);
    reserved.usedBytes = 280 * kGB;
    EXPECT_DOUBLE_EQ(View::gaugeFill(reserved, std::nullopt), 0.72);

    // Figures at the ends of the range neither wrap nor leave 0.04...1.
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(kMax, kMin), std::nullopt), 0.04);
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(kMax, kMax), std::nullopt), 1.0);
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1, kMax), std::nullopt), 1.0);
}

TEST(VidurAdedGauge, AFinishedPassFillsByItsScoreHeldToTheRing) {
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000, 250), scored(54)), 0.54);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, scored(100)), 1.0);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, scored(5)), 0.05);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, scored(250)), 1.0);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, scored(-40)), 0.0);

    EXPECT_DOUBLE_EQ(HealthGauge::sweepDegrees(0.25), 90.0);
    EXPECT_DOUBLE_EQ(HealthGauge::sweepDegrees(-0.5), 0.0);
    EXPECT_DOUBLE_EQ(HealthGauge::sweepDegrees(1.7), 360.0);
    EXPECT_DOUBLE_EQ(HealthGauge::sweepDegrees(std::nan("")), 0.0);
}

TEST(VidurAdedGauge, PaintsNoArcBelowEmptyAndNoMoreThanTheFullRing) {
    auto paint = [](double fill) {
        HealthGauge gauge;
        gauge.setFill(fill);
        gauge.setFigure("42", 32);
        gauge.setCaption("score");
        return gauge.grab().toImage();
    };
    const QImage empty = paint(0.0);
    const QImage half = paint(0.5);
    const QImage full = paint(1.0);
    EXPECT_EQ(paint(-0.3), empty);
    EXPECT_EQ(paint(std::nan("")), empty);
    EXPECT_EQ(paint(1.8), full);
    // On the ring at three o'clock (right of the centre, inside the clockwise half)
    // and at nine o'clock (outside it).
    const QPoint right(100 + 74, 100);
    const QPoint left(100 - 74, 100);
    EXPECT_NE(half.pixel(right), empty.pixel(right));
    EXPECT_EQ(half.pixel(left), empty.pixel(left));
    EXPECT_NE(full.pixel(left), empty.pixel(left));
}

TEST(VidurAdedGauge, FigureShrinksToFitTheCentreButNoFurtherThanAFraction) {
    HealthGauge gauge;
    gauge.setFigure("88", 32);
    EXPECT_EQ(gauge.fittedFigurePixelSize(), 32);
    gauge.setFigure("999.99 GB", 32);
    EXPECT_LT(gauge.fittedFigurePixelSize(), 32);
    EXPECT_GE(gauge.fittedFigurePixelSize(), int(32 * HealthGauge::minimumFigureScale));
    gauge.setFigure(QString(60, 'W'), 32);
    EXPECT_EQ(gauge.fittedFigurePixelSize(), int(32 * HealthGauge::minimumFigureScale));
}

TEST(VidurAdedBands, WordsAndTintsChangeAtTheirEdges) {
    const std::tuple<int, const char*, QColor> cases[] = {
        {100, "Excellent", T::accentTeal()},   {85, "Excellent", T::accentTeal()},
        {84, "Good", T::accent()},             {70, "Good", T::accent()},
        {69, "Needs attention", T::warning()}, {50, "Needs attention", T::warning()},
        {49, "Critical", T::danger()},         {5, "Critical", T::danger()},
    };
    for (const auto& [score, word, tint] : cases) {
        SCOPED_TRACE(score);
        EXPECT_EQ(View::bandWord(score), word);
        EXPECT_EQ(View::bandTint(score), tint);
    }
}

TEST(VidurAdedRootVolume, TheRootElseTheFirstElseNone) {
    VolumeInfo backup = volume(2000, 100, false, "Backup");
    VolumeInfo disk = volume(1000, 250, true, "Disk");
    EXPECT_EQ(View::rootVolume({backup, disk})->name, "Disk");
    EXPECT_EQ(View::rootVolume({backup, volume(10, 1, false, "Stick")})->name, "Backup");
    EXPECT_FALSE(View::rootVolume({}));
}

TEST(VidurAdedHero, CleanRecommendedNeedsBytesOrAHighThreat) {
    VidurAdedResult result = scored(90);
    result.protectionCount = 4;
    EXPECT_FALSE(View::canCleanRecommended(result)) << "findings without bytes or a high one";
    result.protectionHigh = 1;
    EXPECT_TRUE(View::canCleanRecommended(result));
    result.protectionHigh = 0;
    result.privacyBytes = 1;
    EXPECT_TRUE(View::canCleanRecommended(result));
    result.junkBytes = std::numeric_limits<qint64>::max();
    result.clutterBytes = std::numeric_limits<qint64>::max();
    EXPECT_EQ(View::reclaimableBytes(result), std::numeric_limits<qint64>::max()) << "held, not wrapped";
}

TEST(VidurAdedHero, ResultTilesShowEachModulesFigures) {
    VidurAdedResult result = scored(70);
    result.junkCount = 12;
    result.junkBytes = 1500 * 1000 * 1000LL;
    result.clutterCount = 3;
    result.clutterBytes = 2 * kGB;
    result.protectionCount = 4;
    result.privacyCount = 9;
    result.privacyBytes = 300 * 1000 * 1000LL;
    result.outdatedApps = 1;
    result.performanceIssues = 6;
    const QList<View::Metric> metrics = View::metrics(result);
    ASSERT_EQ(metrics.size(), 6);
    const std::tuple<const char*, const char*, QString, AppSection> expected[] = {
        {"Junk", "12", "1.5 GB", AppSection::cleanup},
        {"Clutter", "3", "2 GB", AppSection::clutter},
        {"Protection", "4", "0 high", AppSection::protection},
        {"Privacy", "9", "300 MB", AppSection::protection},
        {"Updates", "1", "apps to review", AppSection::apps},
        {"Performance", "6", "login / services", AppSection::performance},
    };
    for (int i = 0; i < 6; ++i) {
        const auto& [title, value, subtitle, section] = expected[i];
        EXPECT_EQ(metrics[i].title, title);
        EXPECT_EQ(metrics[i].value, value);
        EXPECT_EQ(metrics[i].subtitle, subtitle);
        EXPECT_EQ(metrics[i].section, section);
    }
}

// ---- The screen over a state ----

namespace {

class HomeScreenTest : public ::testing::Test {
protected:
    HomeScreenTest() {
        env.setNow(QDateTime(QDate(2024, 5, 2), QTime(10, 15)));
        MapServices services = test::testServices();
        services.listVolumes = [this] {
            while (holdVolumes) QThread::msleep(1);  // a mount that does not answer
            std::lock_guard lock(volumesMutex);
            ++volumeReads;
            return volumes;
        };
        ModuleServices modules = test::quietModules();
        modules.cleanupScan = junk.finder();
        state = std::make_unique<AppState>(services, modules);
        state->start();
        EXPECT_TRUE(test::safeBinSettled(*state));
        EXPECT_TRUE(test::waitUntil([&] { return !state->volumes().empty(); }));
        view = std::make_unique<View>(*state);
        view->resize(1000, 1400);
    }
    ~HomeScreenTest() override {
        view.reset();
        state.reset();
    }

    bool shown(QWidget* widget) const { return widget->isVisibleTo(view.get()); }
    static QVariant setting(const QString& key) { return Environment::current().settings()->value(key); }
    static bool hasSetting(const QString& key) { return Environment::current().settings()->contains(key); }
    VidurAdedMetricTile* tile(const QString& title) const {
        for (VidurAdedMetricTile* tile : view->metricTiles()) {
            if (tile->title() == title) return tile;
        }
        return nullptr;
    }

    test::FakeEnvironment env;
    test::HeldFinders<CleanupItem> junk{QStringList{QStringLiteral("Scanning caches\u2026")}};
    std::vector<VolumeInfo> volumes{volume(1000 * kGB, 250 * kGB, false, "Backup"),
                                    volume(1000 * kGB, 250 * kGB, true, "Work Disk")};
    std::atomic_int volumeReads{0};
    std::atomic_bool holdVolumes{false};
    std::mutex volumesMutex;
    // Changes what the next reading lists.
    void setVolumes(std::vector<VolumeInfo> list) {
        std::lock_guard lock(volumesMutex);
        volumes = std::move(list);
    }
    // Shows the screen and waits for the reading its showing asked for.
    void showAndRead() {
        const int before = volumeReads;
        view->show();
        ASSERT_TRUE(test::waitUntil([&] { return volumeReads > before && !state->volumes().empty() == !volumes.empty(); }));
        QCoreApplication::processEvents();
    }
    std::unique_ptr<AppState> state;
    std::unique_ptr<View> view;
};

}  // namespace

TEST_F(HomeScreenTest, BeforeAnyPassTheHeroInvitesAPassOverTheFreeSpace) {
    showAndRead();
    EXPECT_EQ(view->heroTitle(), "Start with Vidur Aded");
    EXPECT_EQ(view->heroDetail(), "We\u2019ll check junk, threats, privacy residue, outdated apps, clutter, and heavy "
                                  "login items \u2014 then show a health score.");
    ASSERT_TRUE(shown(view->freeSpaceLabel()));
    EXPECT_EQ(view->freeSpaceLabel()->text(), "250 GB free of 1 TB \u00B7 Work Disk");
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.25);
    EXPECT_EQ(view->gauge()->tint(), T::accentTeal());
    EXPECT_EQ(view->gauge()->figure(), "250 GB");
    EXPECT_EQ(view->gauge()->caption(), "free");
    EXPECT_EQ(view->gauge()->figurePixelSize(), 32);
    EXPECT_TRUE(shown(view->runButton()));
    EXPECT_TRUE(view->runButton()->isEnabled());
    EXPECT_EQ(view->runButton()->text(), "Run Vidur Aded");
    EXPECT_DOUBLE_EQ(view->runButtonOpacity(), 1.0);
    EXPECT_FALSE(shown(view->cleanButton()));
    EXPECT_FALSE(shown(view->scanningCard()));
    EXPECT_FALSE(shown(view->resultsGrid()));
    EXPECT_TRUE(shown(view->scheduleCard()));
    EXPECT_EQ(view->toolTiles().size(), 9);
}

TEST_F(HomeScreenTest, TheHeroButtonsArePaintedOverTheCard) {
    // The run button once sat in a faded holder inside the card's own effect
    // and was never drawn: the card showed empty where it should be.
    view->show();
    EXPECT_GT(test::paintedShare(view.get(), view->runButton()), 0.3) << "Run Vidur Aded";
    AppStateTesting::setVidurAdedResult(*state, scored(62));
    EXPECT_GT(test::paintedShare(view.get(), view->cleanButton()), 0.3) << "Clean recommended";
}

TEST_F(HomeScreenTest, WithoutAVolumeTheGaugeShowsADash) {
    setVolumes({});
    showAndRead();  // the list is read again as the screen comes into view
    ASSERT_TRUE(test::waitUntil([&] { return state->volumes().empty(); }));
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.52);
    EXPECT_EQ(view->gauge()->figure(), "\u2014");
    EXPECT_EQ(view->gauge()->caption(), "free");
    EXPECT_FALSE(shown(view->freeSpaceLabel()));
}

TEST_F(HomeScreenTest, TheVolumeListIsReadEachTimeTheScreenIsShown) {
    const int atStart = volumeReads;
    showAndRead();
    EXPECT_EQ(volumeReads, atStart + 1);
    std::vector<VolumeInfo> fuller = volumes;
    fuller[1].freeBytes = 100 * kGB;
    setVolumes(fuller);
    view->hide();
    showAndRead();
    EXPECT_EQ(volumeReads, atStart + 2);
    ASSERT_TRUE(test::waitUntil([&] { return view->gauge()->figure() == "100 GB"; }));
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.1);
}

// A mount that does not answer (a stale network share) once froze the
// window: the list was read on the UI thread each time the screen showed.
TEST_F(HomeScreenTest, AVolumeThatDoesNotAnswerNeverHoldsTheWindow) {
    showAndRead();
    holdVolumes = true;
    std::vector<VolumeInfo> fuller = volumes;
    fuller[1].freeBytes = 100 * kGB;
    setVolumes(fuller);
    const int before = volumeReads;
    view->hide();
    view->show();  // returns at once, the reading hangs on its worker
    view->hide();
    view->show();  // asked again meanwhile: answered by one reading after it
    EXPECT_EQ(view->gauge()->figure(), "250 GB") << "the last known list meanwhile";
    EXPECT_EQ(volumeReads, before);

    holdVolumes = false;
    ASSERT_TRUE(test::waitUntil([&] { return view->gauge()->figure() == "100 GB"; }));
    ASSERT_TRUE(test::waitUntil([&] { return volumeReads == before + 2; }));
    test::spin(50);
    EXPECT_EQ(volumeReads, before + 2) << "two requests while one reading ran: one more reading, not a pile";
}

TEST_F(HomeScreenTest, ARunningPassHidesTheResultsAndKeepsTheOldScoresRing) {
    AppStateTesting::setVidurAdedResult(*state, scored(62));
    view->show();
    ASSERT_TRUE(shown(view->resultsGrid()));
    EXPECT_EQ(view->heroTitle(), "Needs attention");
    EXPECT_EQ(view->gauge()->figure(), "62");
    EXPECT_EQ(view->gauge()->caption(), "score");
    EXPECT_FALSE(shown(view->runButton()));

    clickOn(view->cleanButton());  // nothing selected: nothing moves, nothing breaks
    EXPECT_TRUE(test::safeBinSettled(*state));

    // "Run Vidur Aded" is back only while the pass runs; the menu starts one here.
    state->runVidurAded();
    ASSERT_TRUE(junk.waitFor(0));
    ASSERT_TRUE(test::waitUntil([&] { return view->heroDetail().contains("Scanning caches"); }));
    EXPECT_EQ(view->heroTitle(), "Scanning your computer\u2026");
    EXPECT_EQ(view->heroDetail(), "Vidur Aded \u00B7 Junk \u00B7 Scanning caches\u2026");
    EXPECT_TRUE(shown(view->runButton()));
    EXPECT_FALSE(view->runButton()->isEnabled());
    EXPECT_EQ(view->runButton()->text(), "Scanning\u2026");
    EXPECT_DOUBLE_EQ(view->runButtonOpacity(), 0.7);
    EXPECT_FALSE(shown(view->cleanButton()));
    EXPECT_FALSE(shown(view->resultsGrid()));
    ASSERT_TRUE(shown(view->scanningCard()));
    EXPECT_EQ(view->scanningText(), view->heroDetail());
    EXPECT_EQ(view->scanningCard()->findChild<QLabel*>("scanningHint")->text(),
              "Keep using your computer \u2014 Vidur Aded runs in the background.");
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.62) << "the ring keeps the old score";
    EXPECT_EQ(view->gauge()->tint(), T::warning());
    EXPECT_EQ(view->gauge()->figure(), "250 GB") << "the centre shows the free space";
    EXPECT_EQ(view->gauge()->figurePixelSize(), 18);
    EXPECT_TRUE(shown(view->freeSpaceLabel()));

    junk.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isVidurAdedRunning(); }));
    EXPECT_EQ(view->heroTitle(), "Excellent");
    EXPECT_EQ(view->gauge()->figure(), "100");
    EXPECT_EQ(view->gauge()->figurePixelSize(), 32);
    EXPECT_FALSE(shown(view->scanningCard()));
    EXPECT_TRUE(shown(view->resultsGrid()));
    EXPECT_TRUE(shown(view->cleanButton()));
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "the pass found nothing to clean";
    EXPECT_FALSE(shown(view->runButton()));
}

TEST_F(HomeScreenTest, AResultShowsItsBandReclaimableBytesAndTiles) {
    VidurAdedResult result = scored(84);
    result.junkBytes = 1 * kGB;
    result.clutterBytes = 400 * 1000 * 1000LL;
    result.privacyBytes = 100 * 1000 * 1000LL;
    result.protectionCount = 2;
    result.protectionHigh = 1;
    AppStateTesting::setVidurAdedResult(*state, result);
    view->show();
    EXPECT_EQ(view->heroTitle(), "Good");
    EXPECT_EQ(view->gauge()->tint(), T::accent());
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.84);
    EXPECT_TRUE(view->heroDetail().startsWith("Reclaimable 1.5 GB \u00B7 updated ")) << view->heroDetail().toStdString();
    EXPECT_TRUE(view->heroDetail().contains("10:15")) << "to the minute";
    EXPECT_FALSE(view->heroDetail().contains("10:15:")) << "without seconds";
    EXPECT_TRUE(view->cleanButton()->isEnabled());
    EXPECT_FALSE(shown(view->freeSpaceLabel()));
    ASSERT_NE(tile("Protection"), nullptr);
    EXPECT_EQ(tile("Protection")->value(), "2");
    EXPECT_EQ(tile("Protection")->subtitle(), "1 high");
    EXPECT_EQ(tile("Junk")->subtitle(), "1 GB");
    EXPECT_EQ(tile("Updates")->subtitle(), "apps to review");

    result.junkBytes = result.clutterBytes = result.privacyBytes = 0;
    result.protectionHigh = 0;
    AppStateTesting::setVidurAdedResult(*state, result);
    EXPECT_TRUE(shown(view->cleanButton()));
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "two findings, none high, no bytes";
    EXPECT_EQ(tile("Protection")->subtitle(), "0 high");
}

TEST_F(HomeScreenTest, CleanRecommendedMovesTheSelectedFindings) {
    CleanupItem item;
    item.title = "cache";
    item.path = test::writeFile(env.home() + "/.cache/thing.bin", QByteArray(2000, 'x'));
    item.size = 2000;
    item.isSelected = item.isSafeDefault = true;
    AppStateTesting::setCleanupItems(*state, {item});
    VidurAdedResult result = scored(96);
    result.junkBytes = 2000;
    result.junkCount = 1;
    AppStateTesting::setVidurAdedResult(*state, result);
    view->show();
    ASSERT_TRUE(view->cleanButton()->isEnabled());
    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_FALSE(QFileInfo::exists(item.path));
    EXPECT_EQ(test::safeBinNames(*state), QStringList{"thing.bin"});
    EXPECT_TRUE(state->cleanupItems().isEmpty());
    EXPECT_EQ(state->vidurAdedResult(), result) << "cleaning leaves the result as it was";
}

TEST_F(HomeScreenTest, EveryResultTileOpensItsSection) {
    AppStateTesting::setVidurAdedResult(*state, scored(90));
    view->show();
    ASSERT_EQ(view->metricTiles().size(), 6);
    const std::pair<const char*, AppSection> tiles[] = {
        {"Junk", AppSection::cleanup},       {"Clutter", AppSection::clutter},
        {"Protection", AppSection::protection}, {"Privacy", AppSection::protection},
        {"Updates", AppSection::apps},        {"Performance", AppSection::performance},
    };
    for (const auto& [title, section] : tiles) {
        state->openSection(AppSection::home);
        VidurAdedMetricTile* found = tile(title);
        ASSERT_NE(found, nullptr) << title;
        // A click on the tile's value label counts as a click on the tile.
        clickOn(found->findChild<QLabel*>("metricValue"));
        EXPECT_EQ(state->section(), section) << title;
    }
}

TEST_F(HomeScreenTest, ToolTilesOpenEverySectionButHomeWhateverThePassDoes) {
    const QList<View::Tool> tools = View::tools();
    ASSERT_EQ(tools.size(), 9);
    QStringList titles;
    for (const View::Tool& tool : tools) {
        titles.append(tool.title);
        EXPECT_EQ(tool.title, rawValue(tool.section));
        EXPECT_EQ(tool.icon, iconName(tool.section));
    }
    EXPECT_EQ(titles, QStringList({"Junk", "Apps", "Clutter", "Performance", "Protection", "Space Map", "Activity",
                                   "Safe Bin", "Insights"}));
    EXPECT_EQ(tools[0].subtitle, "Caches, languages, iOS backups\u2026");
    EXPECT_EQ(tools[6].subtitle, "What you\u2019ve cleaned");

    view->show();
    state->runVidurAded();  // the tiles work while a pass runs too
    ASSERT_TRUE(junk.waitFor(0));
    for (int i = 0; i < 9; ++i) {
        state->openSection(AppSection::home);
        VidurAdedToolTile* tile = view->toolTiles()[i];
        EXPECT_EQ(tile->title(), tools[i].title);
        // Empty space inside the tile takes the click; its cut-away corner does not.
        clickOn(tile, QPoint(1, 1));
        EXPECT_EQ(state->section(), AppSection::home) << "outside the rounded corner";
        clickOn(tile, QPoint(tile->width() - 20, tile->height() / 2));
        EXPECT_EQ(state->section(), tools[i].section) << tools[i].title.toStdString();
    }
    junk.at(0)->release({});
}

TEST_F(HomeScreenTest, HoverLightsOnlyThePartUnderThePointer) {
    view->show();
    VidurAdedToolTile* first = view->toolTiles()[0];
    VidurAdedToolTile* second = view->toolTiles()[1];
    hover(first, true);
    EXPECT_TRUE(first->hovering());
    EXPECT_FALSE(second->hovering());
    ASSERT_TRUE(test::waitUntil([&] { return first->hoverAmount() == 1.0; }));
    EXPECT_EQ(second->hoverAmount(), 0.0);
    hover(first, false);
    EXPECT_FALSE(first->hovering());

    EXPECT_FALSE(view->hoveringHero());
    hover(view->heroCard(), true);
    EXPECT_TRUE(view->hoveringHero());
    ASSERT_TRUE(test::waitUntil([&] { return view->heroCard()->hoverAmount() == 1.0; }));
    hover(view->heroCard(), false);
    EXPECT_FALSE(view->hoveringHero());
}

// ---- The schedule card ----

TEST_F(HomeScreenTest, TheStepperStoresEachHourAtOnceWithinTheDay) {
    view->show();
    ScheduleCard* card = view->scheduleCard();
    HourStepper* stepper = card->hourStepper();
    EXPECT_EQ(stepper->text(), "0:00") << "an absent hour reads 0";
    EXPECT_FALSE(stepper->downButton()->isEnabled());

    state->setScheduleHour(9);
    EXPECT_EQ(stepper->text(), "9:00");
    stepper->upButton()->click();
    EXPECT_EQ(stepper->text(), "10:00");
    EXPECT_EQ(state->scheduleHour(), 10);
    EXPECT_EQ(setting(ScheduleService::hourKey()).toInt(), 10);

    state->setScheduleHour(23);
    EXPECT_FALSE(stepper->upButton()->isEnabled());
    stepper->stepUp();  // unavailable: nothing changes
    EXPECT_EQ(state->scheduleHour(), 23);
    EXPECT_EQ(setting(ScheduleService::hourKey()).toInt(), 23);
    state->setScheduleHour(0);
    stepper->stepDown();
    EXPECT_EQ(state->scheduleHour(), 0);

    // Hours outside the day are refused wherever they come from.
    state->setScheduleHour(24);
    state->setScheduleHour(-1);
    EXPECT_EQ(state->scheduleHour(), 0);
    EXPECT_EQ(setting(ScheduleService::hourKey()).toInt(), 0);
    stepper->setHour(40);
    EXPECT_EQ(stepper->hour(), 23);
    EXPECT_EQ(HourStepper::hourText(7), "7:00");
}

TEST_F(HomeScreenTest, TheSwitchStoresTheScheduleAndNeverTheHour) {
    view->show();
    ScheduleSwitch* toggle = view->scheduleCard()->scheduleSwitch();
    EXPECT_FALSE(toggle->isChecked());
    clickOn(toggle);
    EXPECT_TRUE(state->scheduleEnabled());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(setting(ScheduleService::enabledKey()).toBool());
    EXPECT_FALSE(hasSetting(ScheduleService::hourKey())) << "the switch leaves the hour alone";
    EXPECT_EQ(state->scheduleHour(), 0);

    // Changes made elsewhere show, and write nothing back.
    state->setScheduleEnabled(false);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(hasSetting(ScheduleService::hourKey()));
}

// Tab once never reached the tiles, the schedule switch or the hour
// stepper: the home screen could not be used without a pointer.
TEST_F(HomeScreenTest, TabReachesEveryControlWithAVisibleFocusAndSpaceActs) {
    state->setScheduleHour(5);
    QList<QWidget*> stops = test::tabStops(view.get());
    // The scrolling column takes the focus too, to scroll by keys.
    stops.removeIf([](QWidget* stop) { return qobject_cast<QAbstractScrollArea*>(stop) != nullptr; });
    ScheduleCard* card = view->scheduleCard();
    QList<QWidget*> expected{view->runButton(), card->scheduleSwitch(), card->hourStepper()->upButton(),
                             card->hourStepper()->downButton()};
    for (VidurAdedToolTile* tile : view->toolTiles()) expected << tile;
    EXPECT_EQ(stops, expected) << "in the order they are shown, top to bottom";

    // Each shows that it has the focus.
    for (QWidget* stop : expected) {
        stop->clearFocus();
        const QImage before = stop->grab().toImage();
        stop->setFocus(Qt::TabFocusReason);
        EXPECT_NE(stop->grab().toImage(), before) << stop->objectName().toStdString();
    }

    // Space acts on each.
    card->scheduleSwitch()->setFocus(Qt::TabFocusReason);
    test::pressKey(Qt::Key_Space);
    EXPECT_TRUE(state->scheduleEnabled());
    card->hourStepper()->upButton()->setFocus(Qt::TabFocusReason);
    test::pressKey(Qt::Key_Space);
    EXPECT_EQ(state->scheduleHour(), 6);
    test::pressKey(Qt::Key_Down);
    EXPECT_EQ(state->scheduleHour(), 5);
    view->toolTiles()[5]->setFocus(Qt::TabFocusReason);
    test::pressKey(Qt::Key_Space);
    EXPECT_EQ(state->section(), AppSection::map);
}

TEST(HomeScreenStartUp, TheCardShowsTheStoredSchedule) {
    test::FakeEnvironment env;
    Environment::current().settings()->setValue(ScheduleService::enabledKey(), true);
    Environment::current().settings()->setValue(ScheduleService::hourKey(), 7);
    AppState state(test::testServices(), test::quietModules());
    state.start();
    View view(state);
    EXPECT_TRUE(view.scheduleCard()->scheduleSwitch()->isChecked());
    EXPECT_EQ(view.scheduleCard()->hourStepper()->text(), "7:00");
}
