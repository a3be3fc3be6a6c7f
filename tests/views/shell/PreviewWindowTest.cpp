#include "views/shell/PreviewWindow.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"
#include "state/StateTestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QCoreApplication>
#include <QKeyEvent>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

using namespace tarnwick;
using QuickLookService::PreviewKind;

namespace {

// Records the paths the window reports as loaded.
struct LoadedPaths {
    explicit LoadedPaths(PreviewWindow& window) {
        QObject::connect(&window, &PreviewWindow::loaded, &window, [this](const QString& path) { paths << path; });
    }
    QStringList paths;
};

bool waitLoaded(LoadedPaths& loaded, qsizetype count = 1) {
    return test::waitUntil([&] { return loaded.paths.size() >= count; });
}

}  // namespace

TEST(PreviewWindow, ShowsEachKindOfItem) {
    QTemporaryDir dir;
    PreviewWindow window;
    LoadedPaths loaded(window);

    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString png = dir.filePath("photo.png");
    image.save(png);
    window.showPath(png);
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(waitLoaded(loaded));
    EXPECT_EQ(window.shown()->kind, PreviewKind::image);
    auto* pages = window.findChild<QStackedWidget*>();
    ASSERT_NE(pages, nullptr);
    auto* picture = qobject_cast<QLabel*>(pages->currentWidget());
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());

    const QString notes = test::writeFile(dir.filePath("notes.txt"), "first line\n");
    window.showPath(notes);
    ASSERT_TRUE(waitLoaded(loaded, 2));
    auto* text = qobject_cast<QPlainTextEdit*>(pages->currentWidget());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText(), "first line\n");

    const QString folder = test::makeDir(dir.filePath("folder"));
    test::writeFile(folder + "/a", QByteArray(1500, 'a'));
    test::writeFile(folder + "/b", "b");
    window.showPath(folder);
    ASSERT_TRUE(waitLoaded(loaded, 3));
    EXPECT_EQ(window.detailLines().mid(0, 2), QStringList({"2 items", "Files listed: 2 KB"}));

    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    window.showPath(fifo);
    ASSERT_TRUE(waitLoaded(loaded, 4)) << "a named pipe never finished loading";
    EXPECT_EQ(window.shown()->kindDescription, "Named pipe");

    window.showPath(dir.filePath("gone"));
    ASSERT_TRUE(waitLoaded(loaded, 5));
    EXPECT_EQ(window.shown()->kind, PreviewKind::missing);
}

TEST(PreviewWindow, ANewRequestReplacesTheOneBeforeIt) {
    QTemporaryDir dir;
    const QString first = test::writeFile(dir.filePath("first.txt"), "1");
    const QString second = test::writeFile(dir.filePath("second.txt"), "2");
    PreviewWindow window;
    LoadedPaths loaded(window);
    window.showPath(first);
    window.showPath(second);
    ASSERT_TRUE(waitLoaded(loaded));
    test::spin(50);  // anything late from the first request would have arrived by now
    EXPECT_EQ(loaded.paths, QStringList({second}));
    EXPECT_EQ(window.requestedPath(), second);
    EXPECT_EQ(window.shown()->text, "2");

    // Escape closes the window; a later request opens it again with the new item.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &escape);
    EXPECT_FALSE(window.isVisible());
    window.showPath(first);
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(waitLoaded(loaded, 2));
    EXPECT_EQ(window.shown()->text, "1");
}

TEST(PreviewWindow, ANameThatIsNotUtf8ShowsItsOwnFile) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (const auto& [name, body] : {std::pair{QByteArray("odd\xff.txt"), QByteArray("mine")},
                                     std::pair{QByteArray("odd\xEF\xBF\xBD.txt"), QByteArray("look-alike")}}) {
        const int fd = ::open((folder + '/' + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, body.constData(), body.size()), body.size());
        ::close(fd);
    }
    PreviewWindow window;
    LoadedPaths loaded(window);
    window.showPath(PathCodec::decode(folder + "/odd\xff.txt"));
    ASSERT_TRUE(waitLoaded(loaded));
    EXPECT_EQ(window.shown()->text, "mine");
    ::unlink((folder + "/odd\xff.txt").constData());
    ::unlink((folder + "/odd\xEF\xBF\xBD.txt").constData());
}

TEST(PreviewWindow, DescribesLinksAndCutShortListingsAndTexts) {
    QuickLookService::Preview file;
    file.kind = PreviewKind::other;
    file.size = 1500;
    file.linkTarget = "/elsewhere";
    EXPECT_EQ(PreviewWindow::describe(file), QStringList({"Points to /elsewhere", "Size: 2 KB (1500 bytes)"}));
    QuickLookService::Preview folder;
    folder.kind = PreviewKind::folder;
    folder.folderItemCount = 100000;
    folder.folderCountTruncated = true;
    EXPECT_EQ(PreviewWindow::describe(folder).first(), "More than 100000 items");
    QuickLookService::Preview longText;
    longText.kind = PreviewKind::text;
    longText.textTruncated = true;
    EXPECT_EQ(PreviewWindow::describe(longText), QStringList({"Showing the beginning of the file"}));
}
