#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "support/ByteCountFormatter.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Kind = ClutterItem::Kind;

const QString kStart = QStringLiteral("Starting Clutter scan\u2026");

ClutterItem item(const QString& path, qint64 size, Kind kind, bool selected) {
    ClutterItem made;
    made.title = path.section('/', -1);
    made.path = path;
    made.size = size;
    made.kind = kind;
    made.isSelected = selected;
    made.isSafeDefault = selected;
    return made;
}

// The clutter actions of AppState over a clutter finder the test holds and
// the real Safe Bin of a temporary support folder.
class AppStateClutterTest : public ::testing::Test {
protected:
    AppStateClutterTest() {
        ModuleServices modules = test::quietModules();
        modules.clutterScan = finders.finder();
        state = std::make_unique<AppState>(test::testServices(), modules);
        state->start();
        EXPECT_TRUE(test::safeBinSettled(*state));
        QObject::connect(state.get(), &AppState::changed, &context, [this](AppState::Field field) {
            if (field == AppState::Field::clutterProgressLabel) labels.append(state->clutterProgressLabel());
        });
    }
    // Runs a scan that finds `items`.
    void scanFinding(const QList<ClutterItem>& items) {
        const size_t index = finders.count();
        state->runClutterScan();
        auto call = finders.waitFor(index);
        ASSERT_TRUE(call);
        call->release(items);
        ASSERT_TRUE(test::waitUntil([&] { return !state->isClutterScanning(); }));
    }
    QString file(const QString& name, qint64 size) {
        return test::writeFile(env.home() + QLatin1Char('/') + name, QByteArray(int(size), 'x'));
    }
    QStringList listed() const {
        QStringList titles;
        for (const ClutterItem& i : state->clutterItems()) titles.append(rawValue(i.kind) + ": " + i.title);
        return titles;
    }
    void clean() {
        state->cleanSelectedClutter();
        ASSERT_TRUE(test::safeBinSettled(*state));
    }

    test::FakeEnvironment env;
    test::HeldFinders<ClutterItem> finders{{QStringLiteral("Checking Trash\u2026"),
                                            QStringLiteral("Finding similar images\u2026")}};
    std::unique_ptr<AppState> state;
    QObject context;
    QStringList labels;
};

TEST_F(AppStateClutterTest, ScanReportsLabelsThenPublishesTheTrimmedListAndDone) {
    EXPECT_EQ(state->clutterStatusText(), "Duplicates, old downloads, screenshots, Trash & Mail downloads.");
    state->runClutterScan();
    EXPECT_TRUE(state->isClutterScanning());
    EXPECT_EQ(state->clutterProgressLabel(), kStart);
    EXPECT_EQ(state->clutterStatusText(), kStart);
    auto call = finders.waitFor(0);
    ASSERT_TRUE(call);
    ASSERT_TRUE(test::waitUntil([&] { return state->clutterProgressLabel() == "Finding similar images\u2026"; }));
    EXPECT_EQ(state->clutterStatusText(), "Finding similar images\u2026");

    QList<ClutterItem> found;
    for (int i = 0; i < 70; ++i) found.append(item(QStringLiteral("/nowhere/%1").arg(i), 1000 + i, Kind::largeOld, false));
    call->release(found);
    ASSERT_TRUE(test::waitUntil([&] { return !state->isClutterScanning(); }));
    EXPECT_EQ(state->clutterItems().size(), 60) << "the clutter budget";
    EXPECT_EQ(state->clutterItems().front().size, 1069);
    EXPECT_EQ(state->clutterProgressLabel(), "Done");
    EXPECT_EQ(labels.front(), kStart);
    EXPECT_EQ(labels.back(), "Done");

    // A scan that finds nothing: the sentence, and "Done" as the label.
    scanFinding({});
    EXPECT_EQ(state->clutterStatusText(), "Duplicates, old downloads, screenshots, Trash & Mail downloads.");
    EXPECT_EQ(state->clutterProgressLabel(), "Done");
}

TEST_F(AppStateClutterTest, StatusLineToggleAndSelectedBytes) {
    scanFinding({item("/nowhere/a", 1500000, Kind::trash, true), item("/nowhere/b", 2000, Kind::duplicates, false),
                 item("/nowhere/c", 3000, Kind::screenshots, false)});
    EXPECT_EQ(state->clutterSelectedBytes(), 1500000);
    EXPECT_EQ(state->clutterStatusText(),
              "3 findings \u00B7 1 selected \u00B7 " + ByteCountFormatter::fileStyle(1500000));

    const QUuid first = state->clutterItems()[0].id;
    state->toggleClutterItem(first);
    EXPECT_FALSE(state->clutterItems()[0].isSelected);
    EXPECT_TRUE(state->clutterItems()[0].isSafeDefault);
    state->toggleClutterItem(QUuid::createUuid());
    ASSERT_EQ(state->clutterItems()[1].path, "/nowhere/c") << "the budget puts the larger unselected item first";
    state->toggleClutterItem(state->clutterItems()[1].id);
    EXPECT_EQ(state->clutterSelectedBytes(), 3000);
    EXPECT_EQ(state->clutterStatusText(), AppState::selectionLine(3, "findings", 1, 3000));
}

TEST_F(AppStateClutterTest, CleaningMovesTheSelectionAndLogsOneEvent) {
    scanFinding({item(file("a.zip", 1000), 1000, Kind::downloads, true),
                 item(file("keep.png", 10), 10, Kind::screenshots, false),
                 item(file("b.iso", 2500), 2500, Kind::trash, true)});
    clean();
    EXPECT_EQ(listed(), QStringList{"Screenshots: keep.png"});
    EXPECT_EQ(test::safeBinNames(*state), (QStringList{"a.zip", "b.iso"}));
    EXPECT_FALSE(QFileInfo::exists(env.home() + "/a.zip"));
    ASSERT_EQ(state->activityEvents().size(), 1);
    const ActivityEvent& event = state->activityEvents()[0];
    EXPECT_EQ(event.kind, "Clutter");
    EXPECT_EQ(event.summary, "Cleaned 2 clutter items");
    EXPECT_EQ(event.bytesFreed, test::safeBinBytes(*state)) << "what reached the Safe Bin";
    EXPECT_EQ(event.itemsAffected, 2);

    // Nothing selected: nothing moves and nothing is logged.
    clean();
    EXPECT_EQ(listed(), QStringList{"Screenshots: keep.png"});
    EXPECT_EQ(state->activityEvents().size(), 1);
}

TEST_F(AppStateClutterTest, APathUnderTwoKindsIsCountedAndMovedOnce) {
    const QString setup = file("Setup.iso", 4000);
    scanFinding({item(setup, 4096, Kind::downloads, true), item(setup, 4000, Kind::duplicates, false),
                 item(file("other.bin", 100), 100, Kind::largeOld, false)});
    state->toggleClutterItem(state->clutterItems()[1].id);
    EXPECT_EQ(state->clutterSelectedBytes(), 4096) << "the path counts once, with the size listed first";
    EXPECT_EQ(state->clutterStatusText(), AppState::selectionLine(3, "findings", 2, 4096));
    clean();
    EXPECT_EQ(listed(), QStringList{"Large & Old: other.bin"}) << "both rows of the moved path leave";
    EXPECT_EQ(test::safeBinNames(*state), QStringList{"Setup.iso"});
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].summary, "Cleaned 1 clutter items");
    EXPECT_EQ(state->activityEvents()[0].bytesFreed, 4096);
    EXPECT_EQ(state->activityEvents()[0].itemsAffected, 1);

    // Only the unselected row of a path: the selected one moves it, both go.
    const QString film = file("film.mkv", 300);
    scanFinding({item(film, 300, Kind::duplicates, false), item(film, 300, Kind::largeOld, true)});
    clean();
    EXPECT_TRUE(state->clutterItems().isEmpty());
}

TEST_F(AppStateClutterTest, ATrashItemMovesAloneAndComesBackIntoTheTrash) {
    const QString trash = env.home() + "/.local/share/Trash";
    const QString entry = test::writeFile(trash + "/files/old-notes/a.txt", "notes").section('/', 0, -2);
    const QString info = test::writeFile(trash + "/info/old-notes.trashinfo", "[Trash Info]\nPath=/x\n");
    scanFinding({item(entry, 5, Kind::trash, true)});
    clean();
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_TRUE(QFileInfo::exists(info)) << "the trash's record stays where it is";
    EXPECT_TRUE(QFileInfo(trash + "/files").isDir());
    ASSERT_EQ(state->safeBinItems().size(), 1u);

    state->restoreSafeBin(state->safeBinItems()[0]);
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_TRUE(QFileInfo::exists(entry + "/a.txt")) << "back in the trash, beside its record";
    EXPECT_FALSE(state->errorMessage());
}

TEST_F(AppStateClutterTest, OpeningClutterScansOnlyAnEmptyListWithNoScanRunning) {
    state->openSection(AppSection::clutter);
    state->openSection(AppSection::clutter);
    ASSERT_TRUE(finders.waitFor(0));
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u);
    finders.at(0)->release({item("/nowhere/x", 10, Kind::trash, false)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isClutterScanning(); }));
    state->openSection(AppSection::home);
    state->openSection(AppSection::clutter);
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "items listed: no scan";
}

}  // namespace
}  // namespace tarnwick
