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

const QByteArray kPngMark("\x89PNG\r\n\x1a\n", 8);

QString writePng(const QString& path, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(path, "PNG");
    return path;
}

// A file of the given length whose start holds `head`; the rest is a hole.
QString writeSparse(const QString& path, const QByteArray& head, qint64 length) {
    test::writeFile(path, head);
    (void)!::truncate(QFile::encodeName(path).constData(), length);
    return path;
}

// Runs inspect() on a thread and waits a while; a call that blocks is reported, not hung on.
std::optional<QuickLookService::Preview> inspectWithin(const QString& path, std::chrono::seconds limit,
                                                       const QuickLookService::Limits& limits = {}) {
    auto future = std::async(std::launch::async, [path, limits] { return QuickLookService::inspect(path, limits); });
    if (future.wait_for(limit) != std::future_status::ready) {
        // Release a reader stuck in open() so that the test can end.
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        future.wait();
        return std::nullopt;
    }
    return future.get();
}

class QuickLookServiceTest : public ::testing::Test {
protected:
    QString at(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(QuickLookServiceTest, ImagesAreDecodedScaledOrRefusedWithoutDecoding) {
    const auto png = QuickLookService::inspect(writePng(at("photo.png"), QSize(40, 30)));
    EXPECT_EQ(png.kind, PreviewKind::image);
    EXPECT_EQ(png.image.size(), QSize(40, 30));
    EXPECT_EQ(png.size, QFileInfo(at("photo.png")).size());
    EXPECT_EQ(QuickLookService::inspect(writePng(at("picture"), QSize(4, 4))).kind, PreviewKind::image) << "by content";

    // Wider than the limit: decoded scaled down, its own size kept.
    QuickLookService::Limits limits;
    limits.imageMaxSide = 100;
    const auto wide = QuickLookService::inspect(writePng(at("wide.png"), QSize(1000, 50)), limits);
    EXPECT_EQ(wide.imageSize, QSize(1000, 50));
    EXPECT_EQ(wide.image.size(), QSize(100, 5));

    // What does not decode, is over the size limit (never read, whatever it
    // claims) or claims 40000 x 40000 pixels is described, not shown, and
    // neither allocates nor hangs.
    QuickLookService::Limits small;
    small.imageFileBytes = 100;
    const std::pair<QString, QuickLookService::Limits> refused[] = {
        {test::writeFile(at("broken.png"), kPngMark + QByteArray(64, '\x07')), {}},
        {writeSparse(at("huge.png"), kPngMark, 65LL << 20), {}},
        {writePng(at("real.png"), QSize(200, 200)), small},
        {test::writeFile(at("claims.pgm"), QByteArray("P5\n40000 40000\n255\n") + QByteArray(16, '\x01')), {}},
    };
    for (const auto& [path, limit] : refused) {
        const auto preview = inspectWithin(path, std::chrono::seconds(20), limit);
        ASSERT_TRUE(preview) << path.toStdString() << " blocked";
        EXPECT_EQ(preview->kind, PreviewKind::other) << path.toStdString();
        EXPECT_TRUE(preview->image.isNull());
    }
}

TEST_F(QuickLookServiceTest, TextIsReadUpToTheCap) {
    const auto notes = QuickLookService::inspect(test::writeFile(at("notes.txt"), "hello\nworld\n"));
    EXPECT_EQ(notes.kind, PreviewKind::text);
    EXPECT_EQ(notes.text, "hello\nworld\n");
    EXPECT_FALSE(notes.textTruncated);
    EXPECT_EQ(QuickLookService::inspect(test::writeFile(at("README"), "caf\xc3\xa9\n")).text, "caf\u00e9\n");

    // A gigabyte file: only the first 256 KiB are read.
    const auto big = QuickLookService::inspect(writeSparse(at("big.log"), QByteArray("a line of text\n").repeated(20000), 1LL << 30));
    EXPECT_EQ(big.kind, PreviewKind::text);
    EXPECT_TRUE(big.textTruncated);
    EXPECT_EQ(big.text.size(), 256 * 1024);
    EXPECT_EQ(*big.size, 1LL << 30);

    // A cap that falls inside a multi-byte character still reads as text.
    QuickLookService::Limits limits;
    limits.textBytes = 5;
    const auto cut = QuickLookService::inspect(test::writeFile(at("accents"), "\xc3\xa9\xc3\xa9\xc3\xa9"), limits);
    EXPECT_TRUE(cut.textTruncated);
    EXPECT_EQ(cut.text, "\u00e9\u00e9");
    EXPECT_EQ(QuickLookService::inspect(test::writeFile(at("old.txt"), "caf\xe9")).text, "caf\u00e9") << "one byte a character";
    const auto blob = QuickLookService::inspect(test::writeFile(at("blob.bin"), QByteArray("\x01\x00\x02\x00", 4)));
    EXPECT_EQ(blob.kind, PreviewKind::other);
    EXPECT_TRUE(blob.text.isEmpty());
}

// A folder is counted without descending or following links, within its cap.
TEST_F(QuickLookServiceTest, FoldersAreCountedWithoutDescending) {
    const QString folder = test::makeDir(at("stuff"));
    test::writeFile(folder + "/a", QByteArray(10, 'a'));
    test::writeFile(folder + "/.hidden", QByteArray(30, 'c'));
    test::writeFile(folder + "/sub/deep", QByteArray(1000, 'd'));
    ::symlink("a", QFile::encodeName(folder + "/link").constData());
    const auto preview = QuickLookService::inspect(folder);
    EXPECT_EQ(preview.folderItemCount, 4);
    EXPECT_EQ(preview.folderListedBytes, 40) << "regular files directly inside only";
    QuickLookService::Limits limits;
    limits.folderEntries = 2;
    EXPECT_TRUE(QuickLookService::inspect(folder, limits).folderCountTruncated);
}

TEST_F(QuickLookServiceTest, PipesLinksDevicesAndMissingPathsAreNeverOpened) {
    const QString fifo = at("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString target = test::writeFile(at("secret.txt"), "secret");
    ::symlink(QFile::encodeName(fifo).constData(), QFile::encodeName(at("to-pipe")).constData());
    ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at("to-file.txt")).constData());
    // A link is described as a link, even one that leads to a pipe or a file.
    const std::pair<QString, QString> cases[] = {{fifo, "Named pipe"},
                                                 {at("to-pipe"), "Symbolic link"},
                                                 {at("to-file.txt"), "Symbolic link"},
                                                 {"/dev/zero", "Character device"}};
    for (const auto& [path, description] : cases) {
        const auto preview = inspectWithin(path, std::chrono::seconds(5));
        ASSERT_TRUE(preview.has_value()) << "inspecting " << path.toStdString() << " blocked";
        EXPECT_EQ(preview->kind, PreviewKind::other);
        EXPECT_EQ(preview->kindDescription, description);
        EXPECT_TRUE(preview->text.isEmpty());
    }
    EXPECT_EQ(QuickLookService::inspect(at("to-pipe")).linkTarget, fifo);
    EXPECT_EQ(QuickLookService::inspect(at("nothing-here")).kind, PreviewKind::missing);
    EXPECT_EQ(QuickLookService::inspect({}).kind, PreviewKind::missing);
}

TEST_F(QuickLookServiceTest, NamesThatAreNotUtf8PreviewTheirOwnFile) {
    const QByteArray folder = QFile::encodeName(dir.path());
    auto rawFile = [&](const QByteArray& name, const QByteArray& body) {
        const int fd = ::open((folder + '/' + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        EXPECT_EQ(::write(fd, body.constData(), body.size()), body.size());
        ::close(fd);
        return PathCodec::decode(folder + '/' + name);
    };
    const QString bad = rawFile("bad\xff.txt", "mine");
    rawFile("bad\xEF\xBF\xBD.txt", "the look-alike");
    const auto text = QuickLookService::inspect(bad);
    EXPECT_EQ(text.text, "mine");
    EXPECT_EQ(PathCodec::encode(text.name), QByteArray("bad\xff.txt"));

    ASSERT_EQ(::mkdir((folder + "/d\xfe").constData(), 0755), 0);
    ASSERT_EQ(::symlink("target\xfd", (folder + "/d\xfe/link").constData()), 0);
    EXPECT_EQ(QuickLookService::inspect(PathCodec::decode(folder + "/d\xfe")).folderItemCount, 1);
    const auto link = QuickLookService::inspect(PathCodec::decode(folder + "/d\xfe/link"));
    EXPECT_EQ(PathCodec::encode(link.linkTarget), QByteArray("target\xfd"));
    // QTemporaryDir cannot remove these names itself.
    ::unlink((folder + "/d\xfe/link").constData());
    ::rmdir((folder + "/d\xfe").constData());
    ::unlink((folder + "/bad\xff.txt").constData());
    ::unlink((folder + "/bad\xEF\xBF\xBD.txt").constData());
}
