#pragma once

#include "services/safebin/SafeBinService.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"

#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::test {

inline QByteArray nativePath(const QString& path) { return PathCodec::encode(path); }

// Drops the capabilities that let root override file rights, for this
// process (a death test's child) from here on: it then has the rights of a
// user to their own files. False when they could not be dropped.
inline bool dropFileRightOverrides() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return true;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[capability / 32].effective &= ~(1u << (capability % 32));
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

// The file's bytes, opened by its own name (PathCodec), or "<missing>".
inline QByteArray contents(const QString& path) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) ::close(fd);
        return QByteArray("<missing>");
    }
    return file.readAll();
}

inline struct stat lstatOf(const QString& path) {
    struct stat st {};
    ::lstat(nativePath(path).constData(), &st);
    return st;
}

inline QString linkTarget(const QString& path) {
    char buffer[4096] = {};
    const ssize_t length = ::readlink(nativePath(path).constData(), buffer, sizeof buffer - 1);
    return length < 0 ? QString() : PathCodec::decode(QByteArray(buffer, length));
}

// What the Safe Bin folder holds besides its lock file, its clock and an
// empty journal (all stay once made).
inline QStringList binContents(const QString& bin) {
    QStringList names =
        QDir(bin).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(QStringLiteral("manifest.lock"));
    names.removeAll(QStringLiteral("manifest.clock"));
    if (lstatOf(bin + QStringLiteral("/manifest.journal")).st_size == 0) names.removeAll(QStringLiteral("manifest.journal"));
    return names;
}

// Every rename reported as a move to another file system, for the life of the object.
struct CrossDevice : FileFault {
    CrossDevice() : FileFault([](std::string_view operation, const QString&) { return operation == "rename" ? EXDEV : 0; }) {}
};

// Runs work in a child process that the hook kills with SIGKILL where it chooses.
inline void killedDuring(const FileOperations::FaultHook& hook, const std::function<void()>& work) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            FileOperations::setFaultHookForTesting(hook);
            work();
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
}

// The Safe Bin of a fake support folder.
class SafeBinTest : public ::testing::Test {
protected:
    QString bin() const { return AppIdentity::supportDirectory() + QStringLiteral("/SafeBin"); }
    QString manifest() const { return bin() + QStringLiteral("/manifest.json"); }
    QString held(const SafeBinEntry& entry) const { return SafeBinService::root() + QLatin1Char('/') + entry.storedName; }
    QString home(const QString& relative) const { return env.home(relative); }

    QStringList makeFiles(const QString& folder, int count, const QByteArray& body = "x") {
        QStringList paths;
        for (int i = 0; i < count; ++i) paths << writeFile(folder + QStringLiteral("/f") + QString::number(i), body);
        return paths;
    }
    // An entry with its stored item in the folder (the Safe Bin's by default), as if moved in at `when`.
    SafeBinEntry stored(const QString& name, const QDateTime& when, const QString& folder = {}) {
        const QUuid id = QUuid::createUuid();
        const QString storedName = SafeBinService::storedNameFor(id, name);
        writeFile((folder.isEmpty() ? bin() : folder) + QLatin1Char('/') + storedName, name.toUtf8());
        return SafeBinEntry::create(id, home(QStringLiteral("gone/") + name), storedName, name, 4096, when);
    }
    void writeManifest(const std::vector<SafeBinEntry>& entries, const QString& folder = {}) {
        ASSERT_TRUE(AtomicFile::write(makeDir(folder.isEmpty() ? bin() : folder) + QStringLiteral("/manifest.json"),
                                      SafeBinEntry::encodeManifest(entries)));
    }
    // The entries the manifest on disk holds, as written (no settling).
    std::vector<SafeBinEntry> recorded() const {
        const auto data = AtomicFile::read(manifest());
        return data ? SafeBinEntry::decodeManifest(*data).value_or(std::vector<SafeBinEntry>{}) : std::vector<SafeBinEntry>{};
    }
    // Every item is in exactly one place: where it was, or in the bin with a
    // record naming it; and the bin holds nothing unrecorded.
    void expectNothingLost(const QStringList& paths) {
        QSet<QString> storedNames{QStringLiteral("manifest.json")};
        QSet<QString> inBin;
        for (const SafeBinEntry& entry : SafeBinService::list()) {
            storedNames.insert(entry.storedName);
            inBin.insert(entry.originalPath);
            EXPECT_TRUE(FileOperations::itemExists(held(entry))) << entry.storedName.toStdString();
        }
        for (const QString& path : paths) EXPECT_NE(FileOperations::itemExists(path), inBin.contains(path)) << path.toStdString();
        for (const QString& name : binContents(SafeBinService::root())) {
            EXPECT_TRUE(storedNames.contains(name)) << name.toStdString();
        }
    }

    FakeEnvironment env;
};

}  // namespace tarnwick::test
