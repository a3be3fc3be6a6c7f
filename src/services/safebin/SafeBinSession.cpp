#include "services/safebin/SafeBinSession.h"

#include "platform/FileOperations.h"
#include "services/safebin/SafeBinClock.h"
#include "services/safebin/SafeBinErrors.h"
#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinJournal.h"
#include "support/PathRules.h"

namespace tarnwick {

namespace {

std::mutex& storeMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

SafeBinSession::SafeBinSession(FileLock::Wait wait) : guard(storeMutex()), bin(SafeBinFolder::root()) {
    int code = 0;
    binFd = FileOperations::openFolder(bin, code);
    if (!binFd.valid()) {
        error = FileError::system(code, QStringLiteral("Could not open the Safe Bin ") + FileError::quoted(bin));
        return;
    }
    const QString lockPath = PathRules::appendingPathComponent(bin, SafeBinFolder::kLockName);
    lock.emplace(lockPath, wait);
    if (!lock->isLocked()) {
        error = FileError::system(lock->error(), QStringLiteral("Could not lock the Safe Bin ") + FileError::quoted(bin));
        error->code = SafeBinErrors::kLockCode;
        error->domain = FileError::kTarnwickDomain;
        return;
    }
    const SafeBinClock::Reading reading = SafeBinClock::observe(binFd.get());
    now = reading.now;
    runningMsecs = reading.runningMsecs;
}

QString SafeBinSession::journalPath() const { return PathRules::appendingPathComponent(bin, SafeBinFolder::kJournalName); }

const MountTable& SafeBinSession::mounts() {
    if (!mountTable_) mountTable_ = MountTable::current();
    return *mountTable_;
}

std::optional<FileError> SafeBinSession::record(const QByteArray& lines) {
    return SafeBinJournal::append(fd(), journalPath(), lines);
}

void SafeBinSession::clearJournal() const { SafeBinJournal::clear(fd()); }

}  // namespace tarnwick
