#include "app/SingleInstance.h"

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "platform/FileLock.h"
#include "state/StateTestSupport.h"
#include "support/AppIdentity.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarnwick;
using namespace std::chrono_literals;
using Role = SingleInstance::Role;

namespace {

// A later start, claimed on its own thread as a second process would, while
// this thread's event loop lets the running copy answer.
Role claimElsewhere(const QString& folder, std::chrono::milliseconds patience = 3000ms) {
    std::atomic<bool> done = false;
    Role role = Role::primary;
    std::thread later([&] {
        SingleInstance instance(folder);
        instance.setPatience(patience);
        role = instance.claim();
        done = true;
    });
    test::waitUntil([&] { return done.load(); }, 20000);
    later.join();
    return role;
}

}  // namespace

TEST(SingleInstance, ASecondStartBringsTheRunningWindowForward) {
    test::FakeEnvironment env;
    TarnwickApp app(test::testServices());
    app.start();
    SingleInstance running(AppIdentity::supportDirectory());
    ASSERT_EQ(running.claim(), Role::primary);
    int activations = 0;
    QObject::connect(&running, &SingleInstance::activationRequested, &app, [&] {
        ++activations;
        app.bringForward();
    });
    app.mainWindow().showMinimized();

    EXPECT_EQ(claimElsewhere(AppIdentity::supportDirectory()), Role::forwarded);
    ASSERT_TRUE(test::waitUntil([&] { return activations == 1; }));
    EXPECT_TRUE(app.mainWindow().isVisible());
    EXPECT_FALSE(app.mainWindow().isMinimized());
    EXPECT_EQ(claimElsewhere(AppIdentity::supportDirectory()), Role::forwarded);
    ASSERT_TRUE(test::waitUntil([&] { return activations == 2; }));
}

TEST(SingleInstance, AnUnreachableRunningCopyMeansAClearRefusal) {
    test::FakeEnvironment env;
    const QString folder = AppIdentity::supportDirectory();
    {
        // The lock is held but nobody listens (a copy hung before its socket).
        const FileLock held(folder + QStringLiteral("/instance.lock"), FileLock::Wait::no);
        ASSERT_TRUE(held.isLocked());
        EXPECT_EQ(claimElsewhere(folder, 300ms), Role::refused);
        EXPECT_TRUE(SingleInstance::refusalMessage().startsWith(QStringLiteral("Tarnwick is already running")));
    }
    // Once the running copy is gone, its stale socket does not stand in the way.
    {
        SingleInstance first(folder);
        ASSERT_EQ(first.claim(), Role::primary);
        EXPECT_TRUE(QFileInfo::exists(first.socketPath()));
    }
    SingleInstance next(folder);
    EXPECT_EQ(next.claim(), Role::primary);

    // A folder too deep for a socket path of its own still gets a short one.
    SingleInstance deep(env.path(QString(120, QLatin1Char('d'))));
    EXPECT_LE(QFile::encodeName(deep.socketPath()).size(), 100);
    EXPECT_EQ(deep.claim(), Role::primary);
}
