#include "services/store/QuickLookService.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

using namespace tarnwick;
using QuickLookService::PreviewKind;

namespace {

QString writePng(const QString& path, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(path, "PNG");
    return path;
}

// Makes a file of the given length whose start holds `head`; the rest is a hole.
QString writeSparse(const QString& path, const QByteArray& head, qint64 length) {
    test::writeFile(path, head);
    ::truncate(QFile::encodeName(path).constData(), length);
    return path;
}

// Runs inspect() on a thread and waits a while; a call that blocks is reported, not hung on.
std::optional<QuickLookService::Preview> inspectWithin(const QString& path, std::chrono::seconds limit) {
    auto future = std::async(std::launch::async, [path] { return QuickLookService::inspect(path); });
    if (future.wait_for(limit) != std::future_status::ready) {
        // Release a reader stuck in open() so that the test can end.
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        future.wait();
        return std::nullopt;
    }
    return future.get();
}

}  // namespace

TEST(QuickLookService, ImagesAreDecodedAndDescribed) {
    QTemporaryDir dir;
    const auto png = QuickLookService::inspect(writePng(dir.filePath("photo.png"), QSize(40, 30)));
    EXPECT_EQ(png.kind, PreviewKind::image);
    EXPECT_EQ(png.image.size(), QSize(40, 30));
    EXPECT_EQ(png.size, QFileInfo(dir.filePath("photo.png")).size());
    EXPECT_TRUE(png.modified.has_value());

    // Recognised by content when the name says nothing.
    const auto bare = QuickLookService::inspect(writePng(dir.filePath("picture"), QSize(4, 4)));
    EXPECT_EQ(bare.kind, PreviewKind::image);
    EXPECT_EQ(bare.kindDescription, "PNG image");

    // A picture wider than the limit is decoded scaled down, its own size kept.
    QuickLookService::Limits limits;
    limits.imageMaxSide = 100;
    const auto wide = QuickLookService::inspect(writePng(dir.filePath("wide.png"), QSize(1000, 50)), limits);
    EXPECT_EQ(wide.imageSize, QSize(1000, 50));
    EXPECT_EQ(wide.image.size(), QSize(100, 5));

    // A picture that does not decode is described, not shown.
    const auto broken = QuickLookService::inspect(
        test::writeFile(dir.filePath("broken.png"), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(64, '\x07')));
    EXPECT_EQ(broken.kind, PreviewKind::other);
    EXPECT_TRUE(broken.image.isNull());
    EXPECT_FALSE(broken.note.isEmpty());
}

TEST(QuickLookService, OversizedImagesAreRefusedWithoutDecoding) {
    QTemporaryDir dir;
    // A file over the size limit is not read at all, whatever it claims.
    const auto huge = QuickLookService::inspect(
        writeSparse(dir.filePath("huge.png"), QByteArray("\x89PNG\r\n\x1a\n", 8), 65LL * 1024 * 1024));
    EXPECT_EQ(huge.kind, PreviewKind::other);
    EXPECT_EQ(huge.note, "The image is too large to preview.");
    EXPECT_EQ(*huge.size, 65LL * 1024 * 1024);

    QuickLookService::Limits small;
    small.imageFileBytes = 100;
    const auto capped = QuickLookService::inspect(writePng(dir.filePath("real.png"), QSize(200, 200)), small);
    EXPECT_EQ(capped.kind, PreviewKind::other);
    EXPECT_TRUE(capped.image.isNull());

    // A tiny file claiming 40000 x 40000 pixels neither allocates them nor hangs.
    const auto claimed = inspectWithin(
        test::writeFile(dir.filePath("claims.pgm"), QByteArray("P5\n40000 40000\n255\n") + QByteArray(16, '\x01')),
        std::chrono::seconds(20));
    ASSERT_TRUE(claimed.has_value());
    EXPECT_EQ(claimed->kind, PreviewKind::other);
    EXPECT_TRUE(claimed->image.isNull());
    EXPECT_FALSE(claimed->note.isEmpty());
}

TEST(QuickLookService, TextIsReadUpToTheCap) {
    QTemporaryDir dir;
    const auto notes = QuickLookService::inspect(test::writeFile(dir.filePath("notes.txt"), "hello\nworld\n"));
    EXPECT_EQ(notes.kind, PreviewKind::text);
    EXPECT_EQ(notes.text, "hello\nworld\n");
    EXPECT_FALSE(notes.textTruncated);

    // Text without a telling name is recognised by its content.
    const auto readme = QuickLookService::inspect(test::writeFile(dir.filePath("README"), "caf\xc3\xa9\n"));
    EXPECT_EQ(readme.text, QString::fromUtf8("caf\xc3\xa9\n"));

    // A gigabyte file: only the first 256 KiB are read.
    const QByteArray lines = QByteArray("a line of text\n").repeated(20000);
    const auto big = QuickLookService::inspect(writeSparse(dir.filePath("big.log"), lines, 1LL << 30));
    EXPECT_EQ(big.kind, PreviewKind::text);
    EXPECT_TRUE(big.textTruncated);
    EXPECT_EQ(big.text.size(), 256 * 1024);
    EXPECT_EQ(*big.size, 1LL << 30);

    // A cap that falls inside a multi-byte character still reads as text.
    QuickLookService::Limits limits;
    limits.textBytes = 5;
    const auto cut = QuickLookService::inspect(test::writeFile(dir.filePath("accents"), "\xc3\xa9\xc3\xa9\xc3\xa9"), limits);
    EXPECT_TRUE(cut.textTruncated);
    EXPECT_EQ(cut.text, QString::fromUtf8("\xc3\xa9\xc3\xa9"));

    // A text file in a single-byte encoding keeps its content.
    const auto latin = QuickLookService::inspect(test::writeFile(dir.filePath("old.txt"), "caf\xe9"));
    EXPECT_EQ(latin.text, QString::fromUtf8("caf\xc3\xa9"));

    // Binary content is described, not shown as text.
    const auto blob = QuickLookService::inspect(test::writeFile(dir.filePath("blob.bin"), QByteArray("\x01\x00\x02\x00", 4)));
    EXPECT_EQ(blob.kind, PreviewKind::other);
    EXPECT_TRUE(blob.text.isEmpty());
}

TEST(QuickLookService, FoldersAreCountedWithoutDescending) {
    QTemporaryDir dir;
    const QString folder = test::makeDir(dir.filePath("stuff"));
    test::writeFile(folder + "/a", QByteArray(10, 'a'));
    test::writeFile(folder + "/b", QByteArray(20, 'b'));
    test::writeFile(folder + "/.hidden", QByteArray(30, 'c'));
    test::writeFile(folder + "/sub/deep", QByteArray(1000, 'd'));
    ::symlink("a", QFile::encodeName(folder + "/link").constData());

    const auto preview = QuickLookService::inspect(folder);
    EXPECT_EQ(preview.kind, PreviewKind::folder);
    EXPECT_EQ(preview.folderItemCount, 5);
    EXPECT_EQ(preview.folderListedBytes, 60);  // regular files directly inside only
    EXPECT_FALSE(preview.folderCountTruncated);
    EXPECT_FALSE(preview.size.has_value());

    QuickLookService::Limits limits;
    limits.folderEntries = 2;
    const auto capped = QuickLookService::inspect(folder, limits);
    EXPECT_EQ(capped.folderItemCount, 2);
    EXPECT_TRUE(capped.folderCountTruncated);

    // A folder that cannot be listed is still described.
    const QString locked = test::makeDir(dir.filePath("locked"));
    ::chmod(QFile::encodeName(locked).constData(), 0);
    const auto closed = QuickLookService::inspect(locked);
    EXPECT_EQ(closed.kind, PreviewKind::folder);
    if (::geteuid() != 0) {
        EXPECT_EQ(closed.note, "The folder's contents can't be read.");
    }
    ::chmod(QFile::encodeName(locked).constData(), 0755);
}

TEST(QuickLookService, PipesLinksAndMissingPathsAreNeverOpened) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString target = test::writeFile(dir.filePath("secret.txt"), "secret");
    ::symlink(QFile::encodeName(fifo).constData(), QFile::encodeName(dir.filePath("to-pipe")).constData());
    ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(dir.filePath("to-file.txt")).constData());

    // A link is described as a link, even one that leads to a pipe or a file.
    const std::vector<std::pair<QString, QString>> cases = {{fifo, "Named pipe"},
                                                            {dir.filePath("to-pipe"), "Symbolic link"},
                                                            {dir.filePath("to-file.txt"), "Symbolic link"},
                                                            {"/dev/zero", "Character device"}};
    for (const auto& [path, description] : cases) {
        SCOPED_TRACE(path.toStdString());
        const auto preview = inspectWithin(path, std::chrono::seconds(5));
        ASSERT_TRUE(preview.has_value()) << "inspecting blocked";
        EXPECT_EQ(preview->kind, PreviewKind::other);
        EXPECT_EQ(preview->kindDescription, description);
        EXPECT_TRUE(preview->text.isEmpty());
    }
    EXPECT_EQ(QuickLookService::inspect(dir.filePath("to-pipe")).linkTarget, fifo);

    const auto gone = QuickLookService::inspect(dir.filePath("nothing-here"));
    EXPECT_EQ(gone.kind, PreviewKind::missing);
    EXPECT_EQ(gone.note, "The item can't be found.");
    EXPECT_EQ(QuickLookService::inspect({}).kind, PreviewKind::missing);
}

TEST(QuickLookService, PreviewGoesToTheRegisteredPresenter) {
    QStringList shown;
    QuickLookService::preview("/before");  // nobody registered: nothing happens
    QuickLookService::setPresenter([&](const QString& path) { shown << path; });
    QuickLookService::preview("/one");
    QuickLookService::preview("/two");
    QuickLookService::setPresenter({});
    QuickLookService::preview("/after");
    EXPECT_EQ(shown, QStringList({"/one", "/two"}));
}

TEST(QuickLookService, NamesThatAreNotUtf8PreviewTheirOwnFile) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    auto rawFile = [&](const QByteArray& name, const QByteArray& body) {
        const int fd = ::open((folder + '/' + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, body.constData(), body.size()), body.size());
        ::close(fd);
        return PathCodec::decode(folder + '/' + name);
    };
    const QString bad = rawFile("bad\xff.txt", "mine");
    rawFile("bad\xEF\xBF\xBD.txt", "the look-alike");
    const auto text = QuickLookService::inspect(bad);
    EXPECT_EQ(text.kind, PreviewKind::text);
    EXPECT_EQ(text.text, QStringLiteral("mine"));
    EXPECT_EQ(PathCodec::encode(text.name), QByteArray("bad\xff.txt"));

    ASSERT_EQ(::mkdir((folder + "/d\xfe").constData(), 0755), 0);
    ASSERT_EQ(::symlink("target\xfd", (folder + "/d\xfe/link").constData()), 0);
    const auto inFolder = QuickLookService::inspect(PathCodec::decode(folder + "/d\xfe"));
    EXPECT_EQ(inFolder.kind, PreviewKind::folder);
    EXPECT_EQ(inFolder.folderItemCount, 1);
    const auto link = QuickLookService::inspect(PathCodec::decode(folder + "/d\xfe/link"));
    EXPECT_EQ(PathCodec::encode(link.linkTarget), QByteArray("target\xfd"));

    ::unlink((folder + "/d\xfe/link").constData());
    ::rmdir((folder + "/d\xfe").constData());
    ::unlink((folder + "/bad\xff.txt").constData());
    ::unlink((folder + "/bad\xEF\xBF\xBD.txt").constData());
}
