#include "services/safebin/SafeBinClock.h"

#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "support/AtomicFile.h"
#include "support/Saturating.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <optional>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinClock {

namespace {

// No reading of a clock comes near this (some 142,000 years in milliseconds):
// a field beyond it is damage, and the file reads as unreadable. What stays
// within it is summed and compared without leaving the 64-bit range.
constexpr qint64 kMostMsecs = qint64(1) << 52;

bool plausible(qint64 msecs, qint64 least) { return msecs >= least && msecs <= kMostMsecs; }

struct State {
    qint64 observedMs = 0;
    QByteArray boot;
    qint64 uptimeMs = 0;
    std::optional<qint64> runningMs;  // not in files written before it was kept
};

// "<observed ms> <boot> <uptime ms> <running ms>\n" (files written before the
// running time was kept end after the uptime); nothing when torn or unreadable.
std::optional<State> readState(int binFd) {
    const FileDescriptor fd = AtomicFile::openForReading(binFd, kFileName);
    if (!fd.valid()) return std::nullopt;
    const std::optional<QByteArray> text = AtomicFile::readOpened(fd.get(), 255);
    if (!text || text->isEmpty() || !text->endsWith('\n')) return std::nullopt;
    const QList<QByteArray> fields = text->trimmed().split(' ');
    if (fields.size() != 3 && fields.size() != 4) return std::nullopt;
    bool observedOk = false;
    bool uptimeOk = false;
    State state{fields[0].toLongLong(&observedOk), fields[1], fields[2].toLongLong(&uptimeOk), std::nullopt};
    if (!observedOk || !uptimeOk || !plausible(state.observedMs, -kMostMsecs) || !plausible(state.uptimeMs, 0)) {
        return std::nullopt;
    }
    if (fields.size() == 4) {
        bool runningOk = false;
        state.runningMs = fields[3].toLongLong(&runningOk);
        if (!runningOk || !plausible(*state.runningMs, 0)) return std::nullopt;
    }
    if (state.boot == "-") state.boot.clear();
    return state;
}

void writeState(int binFd, const State& state) {
    const QByteArray text = QByteArray::number(state.observedMs) + ' ' + (state.boot.isEmpty() ? QByteArray("-") : state.boot) +
                            ' ' + QByteArray::number(state.uptimeMs) + ' ' + QByteArray::number(state.runningMs.value_or(0)) +
                            '\n';
    // Never held up by a FIFO in its place: what is no regular file there is
    // replaced (it held no reading either).
    const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor fd(::openat(binFd, kFileName, flags, 0600));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd.reset();
        if (::unlinkat(binFd, kFileName, 0) != 0 && errno != ENOENT) return;
        fd.reset(::openat(binFd, kFileName, flags | O_EXCL, 0600));
        if (!fd.valid()) return;
    }
    // Written in place and not synced: a lost update only loses the guard of
    // the last few moments, never an item.
    if (::pwrite(fd.get(), text.constData(), size_t(text.size()), 0) == text.size()) {
        (void)::ftruncate(fd.get(), text.size());
    }
}

}  // namespace

Reading observe(int binFd) {
    const Environment& environment = Environment::current();
    const qint64 clockMs = std::clamp(environment.now().toMSecsSinceEpoch(), -kMostMsecs, kMostMsecs);
    const Environment::Uptime uptime = environment.uptime();
    const qint64 uptimeMs = std::clamp<qint64>(uptime.msecs, 0, kMostMsecs);
    const std::optional<State> last = readState(binFd);
    qint64 observed = clockMs;
    qint64 running = uptimeMs;
    if (last) {
        const bool sameRun = !uptime.boot.isEmpty() && uptime.boot == last->boot && uptimeMs >= last->uptimeMs;
        if (sameRun) {
            observed = last->observedMs + std::clamp(clockMs - last->observedMs, qint64(0), uptimeMs - last->uptimeMs);
        } else {
            observed = std::max(last->observedMs, clockMs);
        }
        if (last->runningMs) {
            // Another run for sure: all it has run so far. The same run, or
            // one that cannot be told from it: what the uptime clock gained.
            const bool anotherRun = uptimeMs < last->uptimeMs ||
                                    (!uptime.boot.isEmpty() && !last->boot.isEmpty() && uptime.boot != last->boot);
            const qint64 gained = anotherRun ? uptimeMs : uptimeMs - last->uptimeMs;
            running = std::min(Saturating::add(*last->runningMs, gained), kMostMsecs);
        }
    }
    const State now{observed, uptime.boot, uptimeMs, running};
    if (!last || last->observedMs != now.observedMs || last->boot != now.boot || last->uptimeMs != now.uptimeMs ||
        last->runningMs != now.runningMs) {
        writeState(binFd, now);
    }
    return Reading{QDateTime::fromMSecsSinceEpoch(observed, Qt::UTC), running};
}

}  // namespace tarnwick::SafeBinClock
