#pragma once

#include "platform/FileDescriptor.h"
#include "platform/FileLock.h"
#include "platform/MountTable.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <mutex>
#include <optional>

namespace tarnwick {

// One change of the Safe Bin, from start to end: the in-process mutex, the
// bin's lock file, the open bin folder and the time as the bin observes it
// (SafeBinClock: the observed time and the running time). Made first by every change and held until it ends; when
// the bin cannot be opened or locked, error says why and nothing else is set.
// Only the store itself uses this.
class SafeBinSession {
public:
    // With FileLock::Wait::no, gives up at once (error set) while another
    // process holds the bin's lock.
    explicit SafeBinSession(FileLock::Wait wait = FileLock::Wait::untilFree);
    SafeBinSession(const SafeBinSession&) = delete;
    SafeBinSession& operator=(const SafeBinSession&) = delete;

    int fd() const { return binFd.get(); }
    QString journalPath() const;
    // The mount table, read once per change.
    const MountTable& mounts();
    // Appends intents to the journal and syncs them (SafeBinJournal::append).
    std::optional<FileError> record(const QByteArray& lines);
    // Empties the journal.
    void clearJournal() const;

    std::unique_lock<std::mutex> guard;
    QString bin;
    FileDescriptor binFd;
    std::optional<FileLock> lock;
    std::optional<FileError> error;
    QDateTime now;
    qint64 runningMsecs = 0;  // the bin's running time (SafeBinClock::Reading)

private:
    std::optional<MountTable> mountTable_;
};

}  // namespace tarnwick
