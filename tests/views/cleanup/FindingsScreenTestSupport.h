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

// One list of a screen: the finder that feeds it, how the state says it
// runs, and the label it reports.
template <class Item>
struct ListFinder {
    ModuleServices::Finder<Item> ModuleServices::*slot;
    bool (AppState::*scanning)() const;
    QString label;
};

// A screen of two lists (apps and updates, threats and privacy) over two
// finders the test holds.
template <class View, class First, class Second>
class TwoListScreenTest : public ::testing::Test {
protected:
    TwoListScreenTest(const ListFinder<First>& a, const ListFinder<Second>& b)
        : first(QStringList{a.label}), second(QStringList{b.label}), scanning_{a.scanning, b.scanning} {
        ModuleServices modules = quietModules();
        modules.*(a.slot) = first.finder();
        modules.*(b.slot) = second.finder();
        state = std::make_unique<AppState>(testServices(), modules);
        view = std::make_unique<View>(*state);
        view->resize(1000, 700);
    }
    ~TwoListScreenTest() override {
        view.reset();
        state.reset();
    }

    // Shows the screen (which starts both scans) and lets them find these.
    void showWith(const QList<First>& firstItems, const QList<Second>& secondItems = {}) {
        const size_t a = first.count(), b = second.count();
        view->show();
        auto firstCall = first.waitFor(a);
        auto secondCall = second.waitFor(b);
        ASSERT_TRUE(firstCall && secondCall);
        firstCall->release(firstItems);
        secondCall->release(secondItems);
        ASSERT_TRUE(waitUntil([&] { return !((*state).*scanning_[0])() && !((*state).*scanning_[1])(); }));
    }
    ModuleScreenFrame::Body body() const { return view->frame()->body(); }
    QString status() const { return view->frame()->header()->statusText(); }

    FakeEnvironment env;
    HeldFinders<First> first;
    HeldFinders<Second> second;
    std::unique_ptr<AppState> state;
    std::unique_ptr<View> view;

private:
    bool (AppState::*scanning_[2])() const;
};

}  // namespace tarnwick::test
