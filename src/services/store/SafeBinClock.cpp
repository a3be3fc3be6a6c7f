#include "services/store/SafeBinClock.h"

#include "platform/Environment.h"
#include "platform/FileDescriptor.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <optional>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick::SafeBinClock {

namespace {

struct State {
    qint64 observedMs = 0;
    QByteArray boot;
    qint64 uptimeMs = 0;
};

// "<observed ms> <boot> <uptime ms>\n"; nothing when torn or unreadable.
std::optional<State> readState(int binFd) {
    FileDescriptor fd(::openat(binFd, kFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    char buffer[256];
    ssize_t length = 0;
    do {
        length = ::read(fd.get(), buffer, sizeof buffer);
    } while (length < 0 && errno == EINTR);
    if (length <= 0 || buffer[length - 1] != '\n') return std::nullopt;
    const QList<QByteArray> fields = QByteArray(buffer, length).trimmed().split(' ');
    if (fields.size() != 3) return std::nullopt;
    bool observedOk = false;
    bool uptimeOk = false;
    State state{fields[0].toLongLong(&observedOk), fields[1], fields[2].toLongLong(&uptimeOk)};
    if (!observedOk || !uptimeOk) return std::nullopt;
    if (state.boot == "-") state.boot.clear();
    return state;
}

void writeState(int binFd, const State& state) {
    const QByteArray text = QByteArray::number(state.observedMs) + ' ' + (state.boot.isEmpty() ? QByteArray("-") : state.boot) +
                            ' ' + QByteArray::number(state.uptimeMs) + '\n';
    FileDescriptor fd(::openat(binFd, kFileName, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return;
    // Written in place and not synced: a lost update only loses the guard of
    // the last few moments, never an item.
    if (::pwrite(fd.get(), text.constData(), size_t(text.size()), 0) == text.size()) {
        (void)::ftruncate(fd.get(), text.size());
    }
}

}  // namespace

QDateTime observe(int binFd) {
    const Environment& environment = Environment::current();
    const qint64 clockMs = environment.now().toMSecsSinceEpoch();
    const Environment::Uptime uptime = environment.uptime();
    const std::optional<State> last = readState(binFd);
    qint64 observed = clockMs;
    if (last) {
        const bool sameRun = !uptime.boot.isEmpty() && uptime.boot == last->boot && uptime.msecs >= last->uptimeMs;
        if (sameRun) {
            observed = last->observedMs + std::clamp(clockMs - last->observedMs, qint64(0), uptime.msecs - last->uptimeMs);
        } else {
            observed = std::max(last->observedMs, clockMs);
        }
    }
    if (!last || last->observedMs != observed || last->boot != uptime.boot || last->uptimeMs != uptime.msecs) {
        writeState(binFd, State{observed, uptime.boot, uptime.msecs});
    }
    return QDateTime::fromMSecsSinceEpoch(observed, Qt::UTC);
}

}  // namespace tarnwick::SafeBinClock
