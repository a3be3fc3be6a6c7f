#include "views/cleanup/SafeBinView.h"

#include "design/TaldoButton.h"
#include "design/TaldoTheme.h"
#include "services/safebin/SafeBinService.h"
#include "state/AppState.h"
#include "views/cleanup/SafeBinListModel.h"
#include "views/cleanup/SafeBinListView.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/KeyboardSupport.h"
#include "views/map/MapViewsTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPersistentModelIndex>

using namespace tarnwick;

namespace {

using Button = SafeBinListView::Button;

const QDateTime kNow(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);

// What the model of a screen reported while it was watched.
struct RowSignals {
    explicit RowSignals(QAbstractItemModel* model) {
        QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, &context, [this] { ++resets; });
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &context,
                         [this](const QModelIndex&, int first, int last) { inserted.push_back({first, last}); });
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &context,
                         [this](const QModelIndex&, int first, int last) { removed.push_back({first, last}); });
        QObject::connect(model, &QAbstractItemModel::dataChanged, &context, [this] { ++changed; });
    }
    int resets = 0;
    int changed = 0;
    std::vector<std::pair<int, int>> inserted;
    std::vector<std::pair<int, int>> removed;
    QObject context;
};

class SafeBinViewTest : public ::testing::Test {
protected:
    SafeBinViewTest() { env.setNow(kNow); }

    // Moves a new file of the home folder into the Safe Bin at `when`.
    QString binned(const QString& name, const QDateTime& when) {
        env.setNow(when);
        const QString path = test::writeFile(env.home() + "/" + name, "data");
        EXPECT_FALSE(SafeBinService::moveToSafeBin({path}).error);
        env.setNow(kNow);
        return path;
    }
    // Starts the state and shows the screen with the Safe Bin read.
    void show() {
        state.start();
        view = std::make_unique<SafeBinView>(state);
        view->resize(900, 600);
        view->show();
        ASSERT_TRUE(test::safeBinSettled(state));
    }
    QStringList names() const {
        QStringList result;
        for (int row = 0; row < view->model()->rowCount(); ++row) result.append(view->model()->entry(row).displayName);
        return result;
    }
    // A click where the row's button is drawn.
    void click(int row, Button button) {
        const QRect rect = view->list()->buttonRect(row, button);
        ASSERT_FALSE(rect.isEmpty());
        test::clickAt(view->list()->viewport(), rect.center());
    }
    // The buttons of the list that a focus ring is painted around, in a grab
    // of the screen: pixels of the ring's teal in a band just outside them.
    std::vector<std::pair<int, Button>> ringedButtons() const {
        QCoreApplication::processEvents();  // the list lays out its rows on a timer
        const QImage picture = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QColor teal = TaldoTheme::accentTeal();
        std::vector<std::pair<int, Button>> ringed;
        SafeBinListView* list = view->list();
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            for (Button button : {Button::restore, Button::destroy}) {
                const QRect inner(list->viewport()->mapTo(view.get(), list->buttonRect(row, button).topLeft()),
                                  list->buttonRect(row, button).size());
                int count = 0;
                const QRect band = inner.adjusted(-5, -5, 5, 5).intersected(picture.rect());
                for (int y = band.top(); y <= band.bottom(); ++y) {
                    for (int x = band.left(); x <= band.right(); ++x) {
                        if (inner.contains(x, y)) continue;
                        const QColor pixel = picture.pixelColor(x, y);
                        const int distance = std::abs(pixel.red() - teal.red()) + std::abs(pixel.green() - teal.green()) +
                                             std::abs(pixel.blue() - teal.blue());
                        count += distance < 90 ? 1 : 0;
                    }
                }
                if (count > 20) ringed.push_back({row, button});
            }
        }
        return ringed;
    }
    // Moves junk findings into the Safe Bin through the junk clean.
    void cleanJunk(const QStringList& names) {
        QList<CleanupItem> items;
        for (const QString& name : names) {
            items.append(test::finding<CleanupItem>(test::writeFile(env.home("junk/" + name), "junk"), 4, true));
        }
        AppStateTesting::setCleanupItems(state, items);
        state.cleanSelectedToSafeBin();
        ASSERT_TRUE(test::safeBinSettled(state));
    }

    test::FakeEnvironment env;
    AppState state{test::testServices(), test::quietModules()};
    std::unique_ptr<SafeBinView> view;
};

TEST_F(SafeBinViewTest, ListsNewestFirstAndExpiresOnShowAndRefresh) {
    binned("expired.txt", kNow.addDays(-31));
    binned("old.txt", kNow.addDays(-3));
    binned("new.txt", kNow.addSecs(-120));
    show();
    ASSERT_EQ(names(), (QStringList{"new.txt", "old.txt"}));
    EXPECT_TRUE(view->list()->isVisible());

    env.setNow(kNow.addDays(28));  // old.txt passes 30 days
    view->refreshButton()->click();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), QStringList{"new.txt"});
}

// The buttons answer where they are drawn: the danger red of "Delete forever"
// and the quiet "Restore" beside it, row by row.
TEST_F(SafeBinViewTest, TheButtonsActWhereTheyArePainted) {
    const QString a = binned("a.txt", kNow.addSecs(-60));
    binned("b.txt", kNow.addSecs(-30));
    show();
    ASSERT_EQ(names(), (QStringList{"b.txt", "a.txt"}));

    const QImage picture = view->list()->viewport()->grab().toImage();
    for (int row : {0, 1}) {
        const QRect destroy = view->list()->buttonRect(row, Button::destroy);
        const QRect restore = view->list()->buttonRect(row, Button::restore);
        ASSERT_TRUE(picture.rect().contains(destroy) && picture.rect().contains(restore));
        EXPECT_LT(restore.right(), destroy.left());
        const QColor inDestroy = picture.pixelColor(destroy.left() + 4, destroy.center().y());
        EXPECT_EQ(inDestroy.rgb(), TaldoTheme::danger().rgb()) << "row " << row;
        const QColor inRestore = picture.pixelColor(restore.left() + 6, restore.center().y());
        EXPECT_NE(inRestore.rgb(), TaldoTheme::danger().rgb());
        const QColor between = picture.pixelColor(restore.right() + 5, restore.center().y());
        EXPECT_NE(between.rgb(), TaldoTheme::danger().rgb());
    }

    click(1, Button::restore);
    EXPECT_FALSE(view->list()->buttonsEnabled()) << "disabled while the item moves";
    click(0, Button::destroy);  // ignored while busy
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), QStringList{"b.txt"});
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_TRUE(view->list()->buttonsEnabled());

    // Between the two buttons nothing happens.
    const QRect restore = view->list()->buttonRect(0, Button::restore);
    test::clickAt(view->list()->viewport(), QPoint(restore.right() + 5, restore.center().y()));
    EXPECT_FALSE(state.hasSafeBinWork());

    click(0, Button::destroy);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(view->model()->rowCount(), 0);
    EXPECT_TRUE(view->findChild<QLabel*>("safeBinEmpty")->isVisible());
}

// Left and Right choose the current row's button; Return or Space presses it.
TEST_F(SafeBinViewTest, TheKeyboardReachesBothButtons) {
    const QString a = binned("a.txt", kNow.addSecs(-60));
    binned("b.txt", kNow.addSecs(-30));
    show();
    SafeBinListView* list = view->list();
    list->setCurrentIndex(view->model()->index(0));
    test::pressKey(list, Qt::Key_Down);
    EXPECT_EQ(list->currentIndex().row(), 1);
    test::pressKey(list, Qt::Key_Right);
    EXPECT_EQ(list->keyboardButton(), Button::destroy);
    test::pressKey(list, Qt::Key_Left);
    EXPECT_EQ(list->keyboardButton(), Button::restore);
    test::pressKey(list, Qt::Key_Return);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), QStringList{"b.txt"});
    EXPECT_TRUE(QFileInfo::exists(a));

    list->setCurrentIndex(view->model()->index(0));
    test::pressKey(list, Qt::Key_Right);
    test::pressKey(list, Qt::Key_Space);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(view->model()->rowCount(), 0);
}

// The list by keyboard alone, checked on what is painted: Tab enters it at
// its current row, Up and Down move between rows, Left and Right between a
// row's buttons, and Space or Return presses the button that bears the
// focus ring, whatever moved the focus or the current row last.
TEST_F(SafeBinViewTest, TheKeysActOnTheButtonThatBearsTheRing) {
    const QString a = binned("a.txt", kNow.addSecs(-90));
    const QString b = binned("b.txt", kNow.addSecs(-60));
    const QString c = binned("c.txt", kNow.addSecs(-30));
    show();
    ASSERT_EQ(names(), (QStringList{"c.txt", "b.txt", "a.txt"}));
    SafeBinListView* list = view->list();
    view->activateWindow();
    QApplication::setActiveWindow(view.get());
    view->refreshButton()->setFocus(Qt::OtherFocusReason);
    auto ring = [&] { return ringedButtons(); };
    using Ring = std::pair<int, Button>;
    using Rings = std::vector<Ring>;

    test::pressKey(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(ring(), (Rings{{0, Button::restore}}));
    test::pressKey(Qt::Key_Space);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), (QStringList{"b.txt", "a.txt"}));
    EXPECT_TRUE(QFileInfo::exists(c)) << "restored";
    ASSERT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(ring(), (Rings{{0, Button::restore}})) << "the row that took its place";

    test::pressKey(Qt::Key_Down);
    test::pressKey(Qt::Key_Right);
    EXPECT_EQ(ring(), (Rings{{1, Button::destroy}}));
    test::pressKey(Qt::Key_Up);
    EXPECT_EQ(ring(), (Rings{{0, Button::destroy}}));
    test::pressKey(Qt::Key_Down);

    // Out and back: the list is entered where it was left.
    test::pressKey(Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), list);
    EXPECT_TRUE(ring().empty()) << "no ring without the focus";
    list->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(ring(), (Rings{{1, Button::destroy}}));
    // The rows read afresh under the focus: the keys act on the first, and its ring shows it.
    view->model()->reset(state.safeBinList(), state.safeBinChange().version);
    EXPECT_EQ(ring(), (Rings{{0, Button::destroy}}));
    test::pressKey(Qt::Key_Down);

    // A click beside the buttons makes that row current: the ring goes there,
    // and so does the next key.
    const QRect restore = list->buttonRect(0, Button::restore);
    test::clickAt(list->viewport(), QPoint(restore.left() - 40, restore.center().y()));
    EXPECT_FALSE(state.hasSafeBinWork());
    EXPECT_EQ(ring(), (Rings{{0, Button::destroy}}));
    test::pressKey(Qt::Key_Left);
    EXPECT_EQ(ring(), (Rings{{0, Button::restore}}));

    // The focus given back by the window, not by Tab: still a ring where the keys act.
    view->refreshButton()->setFocus(Qt::OtherFocusReason);
    list->setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_EQ(ring(), (Rings{{0, Button::restore}}));
    test::pressKey(Qt::Key_Down);
    test::pressKey(Qt::Key_Right);
    EXPECT_EQ(ring(), (Rings{{1, Button::destroy}}));
    test::pressKey(Qt::Key_Return);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), QStringList{"b.txt"});
    EXPECT_FALSE(QFileInfo::exists(a)) << "deleted for good, not put back";
    EXPECT_EQ(ring(), (Rings{{0, Button::destroy}}));
    test::pressKey(Qt::Key_Left);
    test::pressKey(Qt::Key_Enter);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(view->model()->rowCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(b));
}

// A restore takes out its row and a clean adds its rows at the top; the other
// rows stay the same rows, and the list is never read afresh.
TEST_F(SafeBinViewTest, AChangeMovesOnlyTheRowsItTouches) {
    binned("a.txt", kNow.addSecs(-90));
    binned("b.txt", kNow.addSecs(-60));
    binned("c.txt", kNow.addSecs(-30));
    show();
    ASSERT_EQ(names(), (QStringList{"c.txt", "b.txt", "a.txt"}));
    const QPersistentModelIndex c = view->model()->index(0);
    const QPersistentModelIndex a = view->model()->index(2);
    RowSignals watched(view->model());

    click(1, Button::restore);
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), (QStringList{"c.txt", "a.txt"}));
    EXPECT_EQ(watched.removed, (std::vector<std::pair<int, int>>{{1, 1}}));

    cleanJunk({"x.log", "y.log"});
    EXPECT_EQ(names().mid(2), (QStringList{"c.txt", "a.txt"}));
    EXPECT_EQ(watched.inserted, (std::vector<std::pair<int, int>>{{0, 1}}));
    EXPECT_EQ(c.row(), 2);
    EXPECT_EQ(a.row(), 3);

    view->refreshButton()->click();  // nothing changed: nothing moves
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(watched.resets, 0);
    EXPECT_EQ(watched.changed, 0);
    EXPECT_EQ(watched.inserted.size() + watched.removed.size(), 2u);
}

// Hidden, the screen lets go of its rows at the first change and does nothing
// more; shown again it lists the bin as it is then.
TEST_F(SafeBinViewTest, AHiddenScreenDoesNoRowWork) {
    binned("a.txt", kNow.addSecs(-60));
    show();
    view->hide();
    RowSignals watched(view->model());
    cleanJunk({"x.log", "y.log"});
    state.destroySafeBin(state.safeBinItems().back());
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(view->model()->rowCount(), 0);
    EXPECT_TRUE(watched.inserted.empty() && watched.removed.empty());
    EXPECT_EQ(watched.changed, 0);
    EXPECT_LE(watched.resets, 1);

    view->show();
    ASSERT_TRUE(test::safeBinSettled(state));
    QStringList sorted = names();
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"x.log", "y.log"}));
}

}  // namespace
