#include "views/cleanup/SafeBinView.h"

#include "design/TaldoButton.h"
#include "services/store/SafeBinService.h"
#include "state/AppState.h"
#include "support/AtomicFile.h"
#include "views/common/ModuleHeader.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLabel>

#include <cerrno>

using namespace tarnwick;

namespace {

const QDateTime kNow(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);

QString childText(QWidget* row, const char* name) {
    auto* label = row->findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

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
        for (QWidget* row : view->rows()) result.append(childText(row, "safeBinName"));
        return result;
    }
    TaldoButton* button(int row, const char* name) const {
        return view->rows().at(row)->findChild<TaldoButton*>(name);
    }

    test::FakeEnvironment env;
    AppState state{test::testServices(), test::quietModules()};
    std::unique_ptr<SafeBinView> view;
};

TEST_F(SafeBinViewTest, AnEmptyOrUnreadableBinSaysSo) {
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json", "not json"));
    show();
    EXPECT_TRUE(view->rows().isEmpty());
    auto* empty = view->findChild<QLabel*>("safeBinEmpty");
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->text(), "Safe Bin is empty.");
    EXPECT_FALSE(state.errorMessage());
    EXPECT_EQ(view->header()->statusText(),
              "Items stay here 30 days \u2014 restore anytime, or delete forever.");
}

TEST_F(SafeBinViewTest, ListsNewestFirstAndExpiresOnShowAndRefresh) {
    binned("expired.txt", kNow.addDays(-31));
    binned("old.txt", kNow.addDays(-3));
    binned("new.txt", kNow.addSecs(-120));
    show();
    ASSERT_EQ(names(), (QStringList{"new.txt", "old.txt"}));
    QWidget* top = view->rows()[0];
    EXPECT_EQ(childText(top, "safeBinRemoved"), "2 min. ago");
    EXPECT_EQ(childText(top, "safeBinSize"), "4 KB");
    EXPECT_TRUE(button(0, "safeBinRestore")->isEnabled());

    env.setNow(kNow.addDays(28));  // old.txt passes 30 days
    view->refreshButton()->click();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), QStringList{"new.txt"});
}

TEST_F(SafeBinViewTest, RestoreAndDeleteForeverFromTheRows) {
    const QString a = binned("a.txt", kNow.addSecs(-60));
    binned("b.txt", kNow.addSecs(-30));
    show();
    ASSERT_EQ(names(), (QStringList{"b.txt", "a.txt"}));

    button(1, "safeBinRestore")->click();
    EXPECT_FALSE(button(0, "safeBinDelete")->isEnabled()) << "disabled while the item moves";
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_EQ(names(), QStringList{"b.txt"});
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_TRUE(button(0, "safeBinDelete")->isEnabled());

    // A stored item that cannot be removed stays listed and the reason is shown.
    {
        test::FileFault fault([](std::string_view op, const QString&) { return op == "remove" ? EPERM : 0; });
        button(0, "safeBinDelete")->click();
        ASSERT_TRUE(test::safeBinSettled(state));
    }
    EXPECT_EQ(names(), QStringList{"b.txt"});
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("b.txt"));

    button(0, "safeBinDelete")->click();
    ASSERT_TRUE(test::safeBinSettled(state));
    EXPECT_TRUE(view->rows().isEmpty());
    EXPECT_TRUE(view->findChild<QLabel*>("safeBinEmpty")->isVisible());
}

}  // namespace
