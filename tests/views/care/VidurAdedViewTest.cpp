#include "views/care/VidurAdedView.h"

#include "design/TaldoButton.h"
#include "services/care/ScheduleService.h"
#include "state/AppState.h"
#include "views/care/HealthGauge.h"
#include "views/care/HourStepper.h"
#include "views/care/ScheduleCard.h"
#include "views/care/ScheduleSwitch.h"
#include "views/care/VidurAdedMetricTile.h"
#include "views/care/VidurAdedToolTile.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/KeyboardSupport.h"
#include "views/PaintCheck.h"
#include "views/map/MapViewsTestSupport.h"

#include <QAbstractScrollArea>
#include <QLabel>
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

VolumeInfo volume(qint64 total, qint64 free, bool root = true, const QString& name = QStringLiteral("Work Disk")) {
    return VolumeInfo{"/", name, "/", "/", total, free, root, std::nullopt};
}

VidurAdedResult scored(int score) {
    VidurAdedResult result;
    result.healthScore = score;
    result.finishedAt = QDateTime(QDate(2024, 5, 2), QTime(10, 15));
    return result;
}

// A click as the pointer makes it, at the widget's centre unless told.
void clickOn(QWidget* target, QPoint at = {}) {
    test::clickAt(target, at.isNull() ? target->rect().center() : at);
}

}  // namespace

// ---- Pure parts ----

TEST(VidurAdedGauge, FillIsTheFreeFractionOrTheScoreAndNeverLeavesTheRing) {
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    // Free over total, held to 0.04...1; a missing or broken total never divides.
    const struct {
        qint64 total, free;
        double fill;
    } volumes[] = {{1000 * kGB, 250 * kGB, 0.25}, {1000 * kGB, 0, 0.04},         {1000 * kGB, 1200 * kGB, 1.0},
                   {0, 0, 1.0},                   {1000, -200, 0.04},             {kMax, kMin, 0.04},
                   {1, kMax, 1.0}};
    for (const auto& v : volumes)
        EXPECT_DOUBLE_EQ(View::gaugeFill(volume(v.total, v.free), std::nullopt), v.fill) << v.total << " " << v.free;
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, std::nullopt), 0.52) << "no volume";
    // Blocks kept for the superuser count as free, as df and the map count them.
    VolumeInfo reserved = volume(1000 * kGB, 20 * kGB);
    reserved.usedBytes = 280 * kGB;
    EXPECT_DOUBLE_EQ(View::gaugeFill(reserved, std::nullopt), 0.72);

    // A finished pass fills by its score, held to the ring.
    EXPECT_DOUBLE_EQ(View::gaugeFill(volume(1000, 250), scored(54)), 0.54);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, scored(250)), 1.0);
    EXPECT_DOUBLE_EQ(View::gaugeFill(std::nullopt, scored(-40)), 0.0);
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

// When "Clean recommended" is offered is checked on the screen below.
TEST(VidurAdedHero, TheRootVolumeElseTheFirstAndReclaimableBytesHeld) {
    const VolumeInfo backup = volume(2000, 100, false, "Backup");
    EXPECT_EQ(View::rootVolume({backup, volume(1000, 250, true, "Disk")})->name, "Disk");
    EXPECT_EQ(View::rootVolume({backup})->name, "Backup") << "the root, else the first";
    VidurAdedResult result = scored(90);
    result.privacyBytes = 1;
    EXPECT_TRUE(View::canCleanRecommended(result)) << "privacy bytes alone";
    result.junkBytes = std::numeric_limits<qint64>::max();
    result.clutterBytes = std::numeric_limits<qint64>::max();
    EXPECT_EQ(View::reclaimableBytes(result), std::numeric_limits<qint64>::max()) << "held, not wrapped";
}

// ---- The screen over a state ----

namespace {

class HomeScreenTest : public ::testing::Test {
protected:
    HomeScreenTest() {
        env.setNow(QDateTime(QDate(2024, 5, 2), QTime(10, 15)));
        MapServices services = test::testServices();
        // The reading runs on a thread nothing waits for, so the disks it reads
        // outlive the test.
        services.listVolumes = [disks = disks] {
            while (disks->hold) QThread::msleep(1);  // a mount that does not answer
            std::lock_guard lock(disks->mutex);
            ++disks->reads;
            return disks->list;
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
        disks->hold = false;
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
    struct Disks {
        std::vector<VolumeInfo> list{volume(1000 * kGB, 250 * kGB, false, "Backup"),
                                     volume(1000 * kGB, 250 * kGB, true, "Work Disk")};
        std::atomic_int reads{0};
        std::atomic_bool hold{false};
        std::mutex mutex;
    };
    std::shared_ptr<Disks> disks = std::make_shared<Disks>();
    // Changes what the next reading lists.
    void setVolumes(std::vector<VolumeInfo> list) {
        std::lock_guard lock(disks->mutex);
        disks->list = std::move(list);
    }
    // Shows the screen and waits for the reading its showing asked for.
    void showAndRead() {
        const int before = disks->reads;
        view->show();
        ASSERT_TRUE(test::waitUntil([&] { return disks->reads > before && !state->volumes().empty() == !disks->list.empty(); }));
        QCoreApplication::processEvents();
    }
    std::unique_ptr<AppState> state;
    std::unique_ptr<View> view;
};

}  // namespace

// The root volume's free space, or a dash without one.
TEST_F(HomeScreenTest, BeforeAnyPassTheHeroInvitesAPassOverTheFreeSpace) {
    showAndRead();
    ASSERT_TRUE(shown(view->freeSpaceLabel()));
    EXPECT_TRUE(view->freeSpaceLabel()->text().endsWith("Work Disk"));
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.25);
    EXPECT_EQ(view->gauge()->figure(), "250 GB");
    EXPECT_TRUE(shown(view->runButton()) && view->runButton()->isEnabled());
    EXPECT_FALSE(shown(view->cleanButton()) || shown(view->scanningCard()) || shown(view->resultsGrid()));

    setVolumes({});
    view->hide();
    showAndRead();  // the list is read again as the screen comes into view
    ASSERT_TRUE(test::waitUntil([&] { return state->volumes().empty(); }));
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.52);
    EXPECT_EQ(view->gauge()->figure(), "\u2014");
    EXPECT_FALSE(shown(view->freeSpaceLabel()));
}

TEST_F(HomeScreenTest, TheHeroButtonsArePaintedOverTheCard) {
    // The run button once sat in a faded holder inside the card's own effect
    // and was never drawn: the card showed empty where it should be.
    view->show();
    EXPECT_GT(test::paintedShare(view.get(), view->runButton()), 0.3) << "Run Vidur Aded";
    AppStateTesting::setVidurAdedResult(*state, scored(62));
    EXPECT_GT(test::paintedShare(view.get(), view->cleanButton()), 0.3) << "Clean recommended";
}

// A mount that does not answer (a stale network share) once froze the
// window: the list was read on the UI thread each time the screen showed.
TEST_F(HomeScreenTest, AVolumeThatDoesNotAnswerNeverHoldsTheWindow) {
    // The showing's own reading is delivered (its figure is on screen) before
    // the mount stops answering.
    std::vector<VolumeInfo> fuller = disks->list;
    fuller[1].freeBytes = 200 * kGB;
    setVolumes(fuller);
    showAndRead();
    ASSERT_TRUE(test::waitUntil([&] { return view->gauge()->figure() == "200 GB"; }));
    disks->hold = true;
    fuller[1].freeBytes = 100 * kGB;
    setVolumes(fuller);
    const int before = disks->reads;
    view->hide();
    view->show();  // returns at once, the reading hangs on its worker
    view->hide();
    view->show();  // asked again meanwhile: answered by one reading after it
    EXPECT_EQ(view->gauge()->figure(), "200 GB") << "the last known list meanwhile";
    EXPECT_EQ(disks->reads, before);

    disks->hold = false;
    ASSERT_TRUE(test::waitUntil([&] { return view->gauge()->figure() == "100 GB"; }));
    ASSERT_TRUE(test::waitUntil([&] { return disks->reads == before + 2; }));
    test::spin(50);
    EXPECT_EQ(disks->reads, before + 2) << "two requests while one reading ran: one more reading, not a pile";
}

TEST_F(HomeScreenTest, ARunningPassHidesTheResultsAndKeepsTheOldScoresRing) {
    AppStateTesting::setVidurAdedResult(*state, scored(62));
    view->show();
    ASSERT_TRUE(shown(view->resultsGrid()));
    EXPECT_FALSE(shown(view->runButton()));

    // "Run Vidur Aded" is back only while the pass runs; the menu starts one here.
    state->runVidurAded();
    ASSERT_TRUE(junk.waitFor(0));
    ASSERT_TRUE(test::waitUntil([&] { return view->heroDetail().contains("Scanning caches"); }));
    EXPECT_TRUE(shown(view->runButton()) && !view->runButton()->isEnabled());
    EXPECT_FALSE(shown(view->cleanButton()) || shown(view->resultsGrid()));
    ASSERT_TRUE(shown(view->scanningCard()));
    EXPECT_EQ(view->scanningText(), view->heroDetail());
    EXPECT_DOUBLE_EQ(view->gauge()->fill(), 0.62) << "the ring keeps the old score";
    EXPECT_EQ(view->gauge()->figure(), "250 GB") << "the centre shows the free space";

    junk.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isVidurAdedRunning(); }));
    EXPECT_EQ(view->gauge()->figure(), "100");
    EXPECT_TRUE(shown(view->resultsGrid()) && !shown(view->scanningCard()) && !shown(view->runButton()));
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "the pass found nothing to clean";
}

TEST_F(HomeScreenTest, AResultShowsItsBandReclaimableBytesAndTilesAndCleansWhatItRecommends) {
    VidurAdedResult result = scored(84);
    result.junkBytes = 1 * kGB;
    result.clutterBytes = 400 * 1000 * 1000LL;
    result.privacyBytes = 100 * 1000 * 1000LL;
    result.protectionCount = 2;
    result.protectionHigh = 1;
    AppStateTesting::setVidurAdedResult(*state, result);
    view->show();
    EXPECT_EQ(view->heroTitle(), View::bandWord(84));
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

    result.junkBytes = result.clutterBytes = result.privacyBytes = 0;
    result.protectionHigh = 0;
    AppStateTesting::setVidurAdedResult(*state, result);
    EXPECT_TRUE(shown(view->cleanButton()));
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "two findings, none high, no bytes";
    EXPECT_EQ(tile("Protection")->subtitle(), "0 high");

    // Clean recommended moves the selected findings and leaves the result as it was.
    AppStateTesting::setCleanupItems(*state, {test::finding<CleanupItem>(
                                                 test::writeFile(env.home(".cache/thing.bin"), QByteArray(2000, 'x')), 2000, true)});
    result.junkBytes = 2000;
    AppStateTesting::setVidurAdedResult(*state, result);
    ASSERT_TRUE(view->cleanButton()->isEnabled());
    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(test::safeBinNames(*state), QStringList{"thing.bin"});
    EXPECT_TRUE(state->cleanupItems().isEmpty());
    EXPECT_EQ(state->vidurAdedResult(), result);
}

// A click on a result tile's label counts as a click on the tile; a tool
// tile takes clicks inside its rounded corners, while a pass runs too.
TEST_F(HomeScreenTest, EveryTileOpensItsSection) {
    AppStateTesting::setVidurAdedResult(*state, scored(90));
    view->show();
    ASSERT_EQ(view->metricTiles().size(), 6);
    for (const auto& [title, section] : {std::pair("Junk", AppSection::cleanup), std::pair("Clutter", AppSection::clutter),
                                         std::pair("Privacy", AppSection::protection), std::pair("Updates", AppSection::apps),
                                         std::pair("Performance", AppSection::performance)}) {
        state->openSection(AppSection::home);
        clickOn(tile(title)->findChild<QLabel*>("metricValue"));
        EXPECT_EQ(state->section(), section) << title;
    }

    const QList<View::Tool> tools = View::tools();
    QSet<AppSection> sections;
    for (const View::Tool& tool : tools) sections.insert(tool.section);
    EXPECT_EQ(sections.size(), allAppSections().size() - 1);
    EXPECT_FALSE(sections.contains(AppSection::home));
    state->runVidurAded();
    ASSERT_TRUE(junk.waitFor(0));
    for (int i = 0; i < tools.size(); ++i) {
        state->openSection(AppSection::home);
        VidurAdedToolTile* tool = view->toolTiles()[i];
        clickOn(tool, QPoint(1, 1));
        EXPECT_EQ(state->section(), AppSection::home) << "outside the rounded corner";
        clickOn(tool, QPoint(tool->width() - 20, tool->height() / 2));
        EXPECT_EQ(state->section(), tools[i].section) << tools[i].title.toStdString();
    }
    junk.at(0)->release({});
}

// The switch stores the schedule and never the hour; the stepper stores each
// hour at once and refuses hours outside the day wherever they come from.
TEST_F(HomeScreenTest, TheScheduleCardStoresTheSwitchAndEachHourWithinTheDay) {
    view->show();
    ScheduleSwitch* toggle = view->scheduleCard()->scheduleSwitch();
    HourStepper* stepper = view->scheduleCard()->hourStepper();
    EXPECT_EQ(stepper->text(), "0:00") << "an absent hour reads 0";
    EXPECT_FALSE(stepper->downButton()->isEnabled());
    clickOn(toggle);
    EXPECT_TRUE(state->scheduleEnabled());
    EXPECT_TRUE(setting(ScheduleService::enabledKey()).toBool());
    EXPECT_FALSE(hasSetting(ScheduleService::hourKey())) << "the switch leaves the hour alone";
    state->setScheduleEnabled(false);  // changed elsewhere: shown
    EXPECT_FALSE(toggle->isChecked());

    state->setScheduleHour(9);
    stepper->upButton()->click();
    EXPECT_EQ(stepper->text(), "10:00");
    EXPECT_EQ(setting(ScheduleService::hourKey()).toInt(), 10);
    state->setScheduleHour(23);
    EXPECT_FALSE(stepper->upButton()->isEnabled());
    stepper->stepUp();  // unavailable: nothing changes
    EXPECT_EQ(setting(ScheduleService::hourKey()).toInt(), 23);
    state->setScheduleHour(0);
    stepper->stepDown();
    state->setScheduleHour(24);
    state->setScheduleHour(-1);
    EXPECT_EQ(state->scheduleHour(), 0);
    EXPECT_EQ(setting(ScheduleService::hourKey()).toInt(), 0);
    stepper->setHour(40);
    EXPECT_EQ(stepper->hour(), 23);
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
