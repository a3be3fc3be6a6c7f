#include "services/health/BrowserActivity.h"

#include "platform/DirectoryNames.h"
#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"
#include "services/health/ProcPidStat.h"
#include "support/FileError.h"
#include "support/PathRules.h"

#include <QSysInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick::BrowserActivity {

namespace {

QString procRoot() {
    return Environment::current().rootPrefix;
}

std::optional<QString> readLink(const QString& path) {
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t size = ::readlink(PathCodec::encode(path).constData(), target.data(), size_t(target.size()));
    if (size < 0) return std::nullopt;
    target.truncate(qsizetype(size));
    return PathCodec::decode(target);
}

bool processExists(qint64 pid) {
    struct stat st {};
    const QString path = procRoot() + QStringLiteral("/proc/") + QString::number(pid);
    return ::lstat(PathCodec::encode(path).constData(), &st) == 0;
}

bool isDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A process of the user whose command or program has one of the names.
bool processRuns(const QStringList& names) {
    if (names.isEmpty()) return false;
    const QString proc = procRoot() + QStringLiteral("/proc");
    FileDescriptor folder(::open(PathCodec::encode(proc).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return false;
    DirectoryNames entries;
    if (!entries.read(folder.get(), false)) return false;
    const quint32 user = Environment::current().effectiveUserId();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!isDigits(entries.nameView(i))) continue;
        struct stat st {};
        if (::fstatat(folder.get(), entries.name(i), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != user) continue;
        const qint32 pid = QByteArray(entries.name(i)).toInt();
        if (const std::optional<ProcPidStat> stat = ProcPidStat::read(procRoot(), pid)) {
            if (names.contains(stat->name)) return true;
        }
        if (const std::optional<QString> exe = readLink(proc + QLatin1Char('/') + QString::number(pid) +
                                                        QStringLiteral("/exe"))) {
            QString program = PathRules::lastPathComponent(*exe);
            if (program.endsWith(QLatin1String(" (deleted)"))) program.chop(10);  // updated while it runs
            if (names.contains(program)) return true;
        }
    }
    return false;
}

// A lock link is held while the process it names lives. A link whose target
// does not end in a process number cannot be judged and counts as held; a
// Chromium link ("<host>-<pid>") of another host counts as held, as that
// host may be using the profile.
bool lockLinkHeld(const QString& link) {
    const std::optional<QString> target = readLink(link);
    if (!target) return false;  // no link (or something that is not one)
    qsizetype digits = target->size();
    while (digits > 0 && target->at(digits - 1).isDigit()) --digits;
    if (digits == target->size() || digits == 0) return true;
    bool ok = false;
    const qint64 pid = target->mid(digits).toLongLong(&ok);
    if (!ok || pid <= 0) return true;
    const QChar separator = target->at(digits - 1);
    if (separator == QLatin1Char('-')) {
        if (target->left(digits - 1) != QSysInfo::machineHostName()) return true;
    } else if (separator != QLatin1Char('+')) {
        return true;
    }
    return processExists(pid);
}

// A lock file is held while some process keeps a record lock on it.
bool lockFileHeld(const QString& path) {
    FileDescriptor fd(::open(PathCodec::encode(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    // Open-file-description locks see every other lock, this process's own
    // included; the classic query serves kernels without them.
    int result = ::fcntl(fd.get(), F_OFD_GETLK, &lock);
    if (result != 0 && errno == EINVAL) {
        lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        result = ::fcntl(fd.get(), F_GETLK, &lock);
    }
    return result == 0 && lock.l_type != F_UNLCK;
}

}  // namespace

bool isRunning(const BrowserUse& use) {
    if (use.isEmpty()) return false;
    for (const QString& link : use.lockLinks) {
        if (lockLinkHeld(link)) return true;
    }
    for (const QString& file : use.lockFiles) {
        if (lockFileHeld(file)) return true;
    }
    return processRuns(use.processNames);
}

std::optional<QString> refusal(const PrivacyItem& item) {
    if (!isRunning(item.owner)) return std::nullopt;
    return FileError::quoted(item.title) + QStringLiteral(" was not cleared while ") + item.owner.browser +
           QStringLiteral(" is running. Quit ") + item.owner.browser + QStringLiteral(" and clean it again.");
}

}  // namespace tarnwick::BrowserActivity
