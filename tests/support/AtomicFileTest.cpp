#include "support/AtomicFile.h"

#include "TestSupport.h"
#include "platform/FileOperations.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Writes beyond `bytes` fail with EFBIG while the object lives: a write
// failure the kernel really reports, available without root.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

}  // namespace

TEST(AtomicFile, AFullDiskIsReportedAndTheOldFileKept) {
    test::FakeEnvironment env;
    test::ScratchFileSystem disk(env.path(QStringLiteral("disk")), 256 * 1024);
    if (!disk.ok()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString path = disk.path(QStringLiteral("store.json"));
    ASSERT_TRUE(AtomicFile::write(path, "old contents"));
    disk.fill();

    // Small payloads (far below any write buffer) and large ones alike.
    for (const qsizetype size : {qsizetype(10), qsizetype(4000), qsizetype(15000), qsizetype(300000)}) {
        SCOPED_TRACE(size);
        QString reason;
        int code = 0;
        EXPECT_FALSE(AtomicFile::write(path, QByteArray(size, 'n'), &reason, &code));
        EXPECT_EQ(code, ENOSPC);
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_EQ(AtomicFile::read(path).value_or(QByteArray()), QByteArray("old contents"));
        EXPECT_EQ(namesIn(disk.path()), (QStringList{QStringLiteral("filler"), QStringLiteral("store.json")}));
    }
}

TEST(AtomicFile, FailedWritesAndSyncsNeverCommit) {
    test::FakeEnvironment env;
    const QString path = env.path(QStringLiteral("store.json"));
    ASSERT_TRUE(AtomicFile::write(path, "first"));
    ASSERT_TRUE(AtomicFile::write(path, "old contents"));
    QString error;
    EXPECT_FALSE(AtomicFile::write(env.path(QStringLiteral("missing/dir/x.json")), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    {
        FileSizeLimit limit(100);
        int code = 0;
        EXPECT_FALSE(AtomicFile::write(path, QByteArray(5000, 'n'), nullptr, &code));
        EXPECT_EQ(code, EFBIG);
    }
    for (const char* step : {"write", "sync"}) {
        SCOPED_TRACE(step);
        FileOperations::setFaultHookForTesting(
            [&](std::string_view operation, const QString&) { return operation == step ? EIO : 0; });
        int code = 0;
        EXPECT_FALSE(AtomicFile::write(path, "new", nullptr, &code));
        FileOperations::setFaultHookForTesting({});
        EXPECT_EQ(code, EIO);
    }
    EXPECT_EQ(AtomicFile::read(path).value_or(QByteArray()), QByteArray("old contents"));
    EXPECT_EQ(namesIn(env.path()).filter(QStringLiteral("store.json")), QStringList{QStringLiteral("store.json")});
    ASSERT_TRUE(AtomicFile::write(path, "new"));
    EXPECT_EQ(AtomicFile::read(path).value_or(QByteArray()), QByteArray("new"));
}

// A small store read with a large cap takes memory for what it holds: a
// process whose address space has far less room than the cap still reads it.
TEST(AtomicFile, ReadTakesWhatTheFileHoldsNotTheCap) {
    test::FakeEnvironment env;
    const QString path = env.path(QStringLiteral("manifest.json"));
    const QByteArray contents(431, 'm');
    ASSERT_TRUE(AtomicFile::write(path, contents));

    QFile statm(QStringLiteral("/proc/self/statm"));
    ASSERT_TRUE(statm.open(QIODevice::ReadOnly));
    const qulonglong pages = QTextStream(&statm).readLine().section(QLatin1Char(' '), 0, 0).toULongLong();
    ASSERT_GT(pages, 0u);
    const rlim_t room = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (rlim_t(256) << 20);
    for (const qint64 cap : {qint64(1) << 30, qint64(8) << 30}) {
        SCOPED_TRACE(cap);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const rlimit limit{room, room};
            bool ok = ::setrlimit(RLIMIT_AS, &limit) == 0;
            try {
                ok = ok && AtomicFile::read(path, cap) == contents;
            } catch (...) {
                ok = false;
            }
            std::_Exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    EXPECT_EQ(AtomicFile::read(path, contents.size()), contents);  // exactly at the cap
    EXPECT_FALSE(AtomicFile::read(path, contents.size() - 1));
    const QString empty = env.path(QStringLiteral("empty.json"));
    ASSERT_TRUE(AtomicFile::write(empty, QByteArray()));
    EXPECT_EQ(AtomicFile::read(empty), QByteArray());
    EXPECT_FALSE(AtomicFile::read(env.path(QStringLiteral("nothing"))));
    EXPECT_FALSE(AtomicFile::read(env.path()));  // a folder is no file
    // A FIFO in a store's place is refused at once, never waited on.
    const QString fifo = env.path(QStringLiteral("fifo.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(AtomicFile::read(fifo));
}

namespace {

// A store's file opened for reading: only a regular file by its own name,
// at once whatever else is there, and read blocking as usual once open.
TEST(AtomicFile, OpenForReadingTakesOnlyARegularFileByItsOwnName) {
    test::FakeEnvironment env;
    const QString file = env.path(QStringLiteral("manifest.clock"));
    ASSERT_TRUE(AtomicFile::write(file, "1 - 2 3\n"));
    const QString fifo = env.path(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = env.path(QStringLiteral("link"));
    ASSERT_EQ(::symlink(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()), 0);

    struct stat st {};
    int error = -1;
    const FileDescriptor opened = AtomicFile::openForReading(AT_FDCWD, QFile::encodeName(file), &st, &error);
    ASSERT_TRUE(opened.valid());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(st.st_size, 8);
    EXPECT_FALSE(::fcntl(opened.get(), F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(AtomicFile::readOpened(opened.get(), 100), QByteArray("1 - 2 3\n"));

    const std::pair<QString, int> refused[] = {{fifo, EINVAL}, {link, ELOOP}, {env.path(), EINVAL},
                                               {env.path(QStringLiteral("nothing")), ENOENT}};
    for (const auto& [path, expected] : refused) {
        EXPECT_FALSE(AtomicFile::openForReading(AT_FDCWD, QFile::encodeName(path), nullptr, &error).valid()) << path.toStdString();
        EXPECT_EQ(error, expected) << path.toStdString();
    }
}

}  // namespace
