#include "services/store/RevealService.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace tarnwick;

namespace {

// A stand-in for the tool at its usual path: it adds its arguments, one a
// line, to the log and exits with $FAKE_EXIT.
QString fakeTool(test::FakeEnvironment& env, const QString& usualPath) {
    const QString log = env.path("arguments.txt");
    env.tool(usualPath, "printf '%s\\n' \"$@\" >> '" + log.toUtf8() + "'\nexit \"${FAKE_EXIT:-0}\"\n");
    return log;
}

QStringList lines(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList{};
}

}  // namespace

TEST(RevealService, FileManagerCallEscapesWhatItsToolWouldSplit) {
    // dbus-send splits array items on commas, so they are escaped with the rest.
    EXPECT_EQ(RevealService::fileUrlText("/tmp/a,b c/\u00fc.txt"), "file:///tmp/a%2Cb%20c/%C3%BC.txt");
    const QStringList arguments = RevealService::showItemsArguments("/home/u/a,b");
    EXPECT_EQ(arguments.at(arguments.size() - 2), "array:string:file:///home/u/a%2Cb");
    EXPECT_EQ(RevealService::containingFolderUrl("/home/u/folder/"), QUrl::fromLocalFile("/home/u"));
    EXPECT_EQ(RevealService::containingFolderUrl("/"), QUrl::fromLocalFile("/"));
    // A name that is not UTF-8 is sent as its own bytes, percent-encoded.
    const QString odd = PathCodec::decode(QByteArray("/tmp/d\xff/bad\xfe,.bin"));
    EXPECT_EQ(RevealService::fileUrlText(odd), "file:///tmp/d%FF/bad%FE%2C.bin");
    EXPECT_EQ(RevealService::containingFolderUrl(odd).toEncoded(), QByteArray("file:///tmp/d%FF"));
    EXPECT_EQ(RevealService::openArguments(QUrl("https://example.org/a b?x=1")), QStringList{"https://example.org/a%20b?x=1"});
    EXPECT_EQ(RevealService::openArguments(QUrl::fromLocalFile("/home/u/a,b c.txt")), QStringList{"/home/u/a,b c.txt"});
}

TEST(RevealService, RunsTheToolsAndReportsTheirFailures) {
    test::FakeEnvironment env;
    const QString log = fakeTool(env, "/usr/bin/dbus-send");
    EXPECT_TRUE(RevealService::showInFileManager("/home/u/My Files/a.txt"));
    EXPECT_EQ(lines(log), RevealService::showItemsArguments("/home/u/My Files/a.txt"));
    qputenv("FAKE_EXIT", "1");
    EXPECT_FALSE(RevealService::showInFileManager("/home/u/a.txt"));
    qunsetenv("FAKE_EXIT");
    env.noTool("/usr/bin/dbus-send");
    EXPECT_FALSE(RevealService::showInFileManager("/home/u/a.txt"));

    // Opening says why nothing took the document.
    QFile::remove(log);
    fakeTool(env, "/usr/bin/xdg-open");
    const QUrl document = QUrl::fromLocalFile(env.home("Notes/plan.txt"));
    EXPECT_EQ(RevealService::openWithDesktop(document), std::nullopt);
    for (const auto& [status, reason] : {std::pair("2", "it does not exist."),
                                         std::pair("3", "no application on this computer is set up to open it."),
                                         std::pair("4", "no application on this computer is set up to open it.")}) {
        qputenv("FAKE_EXIT", status);
        EXPECT_EQ(RevealService::openWithDesktop(document), "Could not open \u201C~/Notes/plan.txt\u201D: " + QString(reason));
    }
    qunsetenv("FAKE_EXIT");
    EXPECT_EQ(lines(log), QStringList(4, env.home("Notes/plan.txt")));
    env.noTool("/usr/bin/xdg-open");
    EXPECT_TRUE(RevealService::openWithDesktop(QUrl("https://example.org/"))->endsWith("is not installed."));
}
