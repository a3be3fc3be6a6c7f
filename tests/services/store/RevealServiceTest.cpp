#include "services/store/RevealService.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace tarnwick;

namespace {

// Puts a stand-in for the tool at its usual path: it writes its arguments,
// one a line, to the log (appending with `append`) and exits with $FAKE_EXIT.
void fakeTool(test::FakeEnvironment& environment, const QString& usualPath, const QString& log, bool append) {
    const QString tool = test::writeFile(environment.path("bin/" + usualPath.section('/', -1)),
                                         QByteArray("#!/bin/sh\nprintf '%s\\n' \"$@\" ") + (append ? ">>" : ">") +
                                             " '" + log.toUtf8() + "'\nexit \"${FAKE_EXIT:-0}\"\n");
    QFile::setPermissions(tool, QFile::permissions(tool) | QFile::ExeOwner);
    environment.environment().toolPaths.insert(usualPath, tool);
    environment.apply();
}

}  // namespace

TEST(RevealService, FileManagerCallAndFallback) {
    // dbus-send splits array items on commas, so they are escaped with the rest.
    EXPECT_EQ(RevealService::fileUrlText("/tmp/a,b c/ü.txt"), QStringLiteral("file:///tmp/a%2Cb%20c/%C3%BC.txt"));
    const QStringList arguments = RevealService::showItemsArguments("/home/u/a,b");
    EXPECT_TRUE(arguments.contains(QStringLiteral("--dest=org.freedesktop.FileManager1")));
    EXPECT_TRUE(arguments.contains(QStringLiteral("org.freedesktop.FileManager1.ShowItems")));
    EXPECT_EQ(arguments.at(arguments.size() - 2), QStringLiteral("array:string:file:///home/u/a%2Cb"));
    EXPECT_EQ(arguments.last(), QStringLiteral("string:"));

    EXPECT_EQ(RevealService::containingFolderUrl("/home/u/file.txt"), QUrl::fromLocalFile("/home/u"));
    EXPECT_EQ(RevealService::containingFolderUrl("/home/u/folder/"), QUrl::fromLocalFile("/home/u"));
    EXPECT_EQ(RevealService::containingFolderUrl("/"), QUrl::fromLocalFile("/"));

    // A name that is not UTF-8 is sent as its own bytes, percent-encoded.
    const QString odd = PathCodec::decode(QByteArray("/tmp/d\xff/bad\xfe,.bin"));
    EXPECT_EQ(RevealService::fileUrlText(odd), QStringLiteral("file:///tmp/d%FF/bad%FE%2C.bin"));
    EXPECT_EQ(RevealService::containingFolderUrl(odd).toEncoded(), QByteArray("file:///tmp/d%FF"));
}

TEST(RevealService, RunsTheToolAndReportsItsAnswer) {
    test::FakeEnvironment environment;
    const QString log = environment.path("arguments.txt");
    fakeTool(environment, "/usr/bin/dbus-send", log, false);

    EXPECT_TRUE(RevealService::showInFileManager("/home/u/My Files/a.txt"));
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, RevealService::showItemsArguments("/home/u/My Files/a.txt"));

    qputenv("FAKE_EXIT", "1");
    EXPECT_FALSE(RevealService::showInFileManager("/home/u/a.txt"));
    qunsetenv("FAKE_EXIT");
    environment.environment().toolPaths.insert("/usr/bin/dbus-send", environment.path("bin/missing"));
    environment.apply();
    EXPECT_FALSE(RevealService::showInFileManager("/home/u/a.txt"));

    // A handler takes every request while set.
    QStringList handled;
    RevealService::setHandler([&](const QString& path) { handled << path; });
    RevealService::reveal("/home/u/a.txt");
    RevealService::reveal(QString());
    RevealService::setHandler({});
    EXPECT_EQ(handled, QStringList({"/home/u/a.txt"}));
}

TEST(RevealService, OpensThroughXdgOpenAndSaysWhyNothingTookIt) {
    test::FakeEnvironment environment;
    EXPECT_EQ(RevealService::openArguments(QUrl("https://example.org/a b?x=1")),
              QStringList({"https://example.org/a%20b?x=1"}));
    EXPECT_EQ(RevealService::openArguments(QUrl::fromLocalFile("/home/u/a,b c.txt")), QStringList({"/home/u/a,b c.txt"}));

    const QString log = environment.path("opened.txt");
    fakeTool(environment, "/usr/bin/xdg-open", log, true);

    const QUrl document = QUrl::fromLocalFile(environment.home() + "/Notes/plan.txt");
    EXPECT_EQ(RevealService::openWithDesktop(document), std::nullopt);
    const std::vector<std::pair<const char*, QString>> failures = {
        {"2", "Could not open \u201C~/Notes/plan.txt\u201D: it does not exist."},
        {"3", "Could not open \u201C~/Notes/plan.txt\u201D: no application on this computer is set up to open it."},
        {"4", "Could not open \u201C~/Notes/plan.txt\u201D: no application on this computer is set up to open it."},
    };
    for (const auto& [status, message] : failures) {
        qputenv("FAKE_EXIT", status);
        EXPECT_EQ(RevealService::openWithDesktop(document), message) << status;
    }
    qunsetenv("FAKE_EXIT");
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts),
              QStringList(4, environment.home() + "/Notes/plan.txt"));

    environment.environment().toolPaths.insert("/usr/bin/xdg-open", environment.path("bin/none"));
    environment.apply();
    EXPECT_EQ(RevealService::openWithDesktop(QUrl("https://example.org/")),
              QStringLiteral("Could not open \u201Chttps://example.org/\u201D: xdg-open, which hands files and links to "
                             "the desktop, is not installed."));
}
