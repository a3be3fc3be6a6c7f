#pragma once

#include "state/AppState.h"
#include "views/common/FindingCard.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarnwick::test {

// A module's findings screen over a finder of that module that the test
// holds: the finder reports one label, then waits for the test's result.
template <class View, class Item>
class FindingsScreenTest : public ::testing::Test {
protected:
    FindingsScreenTest(ModuleServices::Finder<Item> ModuleServices::*finder, bool (AppState::*scanning)() const,
                       const QString& label)
        : finders(QStringList{label}), scanning_(scanning) {
        ModuleServices modules = quietModules();
        modules.*finder = finders.finder();
        state = std::make_unique<AppState>(testServices(), modules);
        view = std::make_unique<View>(*state);
        view->resize(900, 700);
    }
    ~FindingsScreenTest() override {
        view.reset();
        state.reset();
    }

    // Shows the screen (which starts a scan) and lets that scan find `items`.
    void showWith(const QList<Item>& items) {
        const size_t index = finders.count();
        view->show();
        auto call = finders.waitFor(index);
        ASSERT_TRUE(call);
        call->release(items);
        ASSERT_TRUE(waitUntil([&] { return !((*state).*scanning_)(); }));
    }
    ModuleScreenFrame::Body body() const { return view->frame()->body(); }
    QString status() const { return view->frame()->header()->statusText(); }
    QStringList cardTitles() const {
        QStringList titles;
        for (FindingCard* card : view->cards()) titles.append(card->title());
        return titles;
    }

    FakeEnvironment env;
    HeldFinders<Item> finders;
    std::unique_ptr<AppState> state;
    std::unique_ptr<View> view;

private:
    bool (AppState::*scanning_)() const;
};

}  // namespace tarnwick::test
