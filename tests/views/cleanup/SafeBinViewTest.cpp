#include "views/cleanup/SafeBinView.h"

#include "design/TaldoButton.h"
#include "design/TaldoTheme.h"
#include "services/safebin/SafeBinService.h"
#include "state/AppState.h"
#include "views/cleanup/SafeBinListModel.h"
#include "views/cleanup/SafeBinListView.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/map/MapViewsTestSupport.h"

#include <gtest/gtest.h>

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
