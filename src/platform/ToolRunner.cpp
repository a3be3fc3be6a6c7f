#include "platform/ToolRunner.h"

#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <thread>
#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarnwick {

namespace {

using Clock = std::chrono::steady_clock;

// How long one wait lasts at most (milliseconds), so that a child that exits
// while something it started still holds the pipes open is noticed.
constexpr int kSliceMilliseconds = 20;

// Makes a pipe whose ends are closed on exec; the read end does not block.
bool makePipe(FileDescriptor& readEnd, FileDescriptor& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    const int flags = ::fcntl(readEnd.get(), F_GETFL);
    return flags >= 0 && ::fcntl(readEnd.get(), F_SETFL, flags | O_NONBLOCK) == 0;
}

// What is kept of one output stream: up to a limit, the rest counted as cut.
struct Sink {
    QByteArray* bytes;
    qsizetype limit;  // negative: no limit
    bool* cut;

    void take(const char* data, qsizetype size) {
        qsizetype kept = size;
        if (limit >= 0) kept = std::clamp<qsizetype>(limit - bytes->size(), 0, size);
        bytes->append(data, kept);
        if (kept < size) *cut = true;
    }
};

// Reads what is available; closes the descriptor at end of file or on an error.
void drain(FileDescriptor& fd, Sink sink) {
    char buffer[65536];
    while (fd.valid()) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            sink.take(buffer, n);
        } else if (n == 0) {
            fd.reset();
        } else if (errno == EINTR) {
            continue;
        } else {
            if (errno != EAGAIN && errno != EWOULDBLOCK) fd.reset();
            return;
        }
    }
}

// The executable to start: a name without a slash is looked up on PATH.
// Empty when there is no such program.
QByteArray resolveProgram(const QString& program) {
    if (program.isEmpty()) return {};
    if (program.contains(QLatin1Char('/'))) {
        const QByteArray path = PathCodec::encode(program);
        struct stat info;
        if (::stat(path.constData(), &info) != 0) return {};
        return path;
    }
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? QByteArray() : PathCodec::encode(found);
}

// Waits for the child without giving up on interrupted calls.
pid_t waitBlocking(pid_t pid, int* status) {
    pid_t r;
    do {
        r = ::waitpid(pid, status, 0);
    } while (r < 0 && errno == EINTR);
    return r;
}

// Spawn attributes and file actions, released on every path out.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    bool attributesReady = false;
    bool actionsReady = false;

    ~SpawnSetup() {
        if (actionsReady) posix_spawn_file_actions_destroy(&actions);
        if (attributesReady) posix_spawnattr_destroy(&attributes);
    }

    // Readies both, with the child starting with every signal at its default
    // and none blocked, whatever this process ignores or blocks, and with the
    // further spawn flags given.
    bool prepare(short flags) {
        attributesReady = posix_spawnattr_init(&attributes) == 0;
        actionsReady = attributesReady && posix_spawn_file_actions_init(&actions) == 0;
        if (!actionsReady) return false;
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        return posix_spawnattr_setsigdefault(&attributes, &all) == 0
               && posix_spawnattr_setsigmask(&attributes, &none) == 0
               && posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | flags) == 0;
    }
};

// The encoded argument list, program first; argv() points into it.
struct ArgumentList {
    std::vector<QByteArray> encoded;
    std::vector<char*> pointers;

    ArgumentList(const QString& program, const QStringList& arguments) {
        encoded.reserve(arguments.size() + 1);
        // Arguments are often paths: PathCodec gives a name that is not UTF-8
        // its own bytes back (and is plain UTF-8 for every other text).
        encoded.push_back(PathCodec::encode(program));
        for (const QString& argument : arguments) encoded.push_back(PathCodec::encode(argument));
        pointers.reserve(encoded.size() + 1);
        for (QByteArray& argument : encoded) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
    }
    char** argv() { return pointers.data(); }
};

// How a reaped child ended.
void setEnding(ToolResult& result, int status) {
    if (WIFEXITED(status)) {
        result.status = ToolResult::Status::finished;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.status = ToolResult::Status::crashed;
        result.signalNumber = WTERMSIG(status);
    } else {
        result.status = ToolResult::Status::finished;
    }
}

// The inherited environment with the overrides in place of same-named variables.
std::vector<QByteArray> environmentWith(const QStringList& overrides) {
    std::vector<QByteArray> result;
    std::vector<QByteArray> replaced;
    for (const QString& entry : overrides) {
        const QByteArray bytes = entry.toLocal8Bit();
        const qsizetype equals = bytes.indexOf('=');
        if (equals <= 0) continue;
        replaced.push_back(bytes.left(equals + 1));
        result.push_back(bytes);
    }
    for (char** variable = environ; variable && *variable; ++variable) {
        const QByteArray entry(*variable);
        const bool overridden = std::any_of(replaced.begin(), replaced.end(),
                                            [&](const QByteArray& prefix) { return entry.startsWith(prefix); });
        if (!overridden) result.push_back(entry);
    }
    return result;
}

}  // namespace

std::optional<ToolResult::Status> ToolRunner::whyNotRunnable(const QString& program) {
    const QByteArray executable = resolveProgram(program);
    if (executable.isEmpty()) return ToolResult::Status::notFound;
    struct stat info {};
    if (::stat(executable.constData(), &info) != 0) return ToolResult::Status::notFound;
    if (!S_ISREG(info.st_mode) || ::access(executable.constData(), X_OK) != 0) return ToolResult::Status::failedToStart;
    return std::nullopt;
}

ToolResult ToolRunner::launch(const QString& program, const QStringList& arguments,
                              std::chrono::milliseconds watch) {
    ToolResult result;
    const QByteArray executable = resolveProgram(program);
    if (executable.isEmpty()) {
        result.status = ToolResult::Status::notFound;
        return result;
    }
    ArgumentList argv(program, arguments);

    // A session of its own: nothing ties it to this process or its terminal.
    SpawnSetup setup;
    bool ready = setup.prepare(POSIX_SPAWN_SETSID);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        ready = ready && posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null",
                                                          fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0) == 0;
    }
    pid_t pid = -1;
    if (!ready || posix_spawn(&pid, executable.constData(), &setup.actions, &setup.attributes,
                              argv.argv(), environ) != 0) {
        result.status = ToolResult::Status::failedToStart;
        return result;
    }

    const auto deadline = Clock::now() + watch;
    int status = 0;
    for (int slice = 1;; slice = std::min(slice * 2, kSliceMilliseconds)) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            setEnding(result, status);
            return result;
        }
        if (r < 0 && errno != EINTR) {
            // Reaped elsewhere (SIGCHLD ignored): how it ended is unknown, never success.
            result.status = ToolResult::Status::finished;
            return result;
        }
        if (Clock::now() >= deadline) break;
        struct timespec pause = {0, slice * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
    // Still running: it is doing what it was asked to. Someone must wait for
    // it so that it leaves no zombie behind when it ends.
    std::thread([pid] {
        int ignored = 0;
        waitBlocking(pid, &ignored);
    }).detach();
    result.status = ToolResult::Status::running;
    return result;
}

ToolResult ToolRunner::run(const QString& program, const QStringList& arguments,
                           std::chrono::milliseconds timeout, Stderr errorHandling,
                           const QStringList& environmentOverrides, const std::stop_token& stop,
                           qsizetype outputLimit) {
    ToolResult result;
    const Sink output{&result.output, outputLimit, &result.outputCut};
    const Sink errors{&result.errorOutput, outputLimit, &result.errorOutputCut};
    const auto deadline = Clock::now() + timeout;

    const QByteArray executable = resolveProgram(program);
    if (executable.isEmpty()) {
        result.status = ToolResult::Status::notFound;
        return result;
    }

    ArgumentList argv(program, arguments);
    std::vector<QByteArray> environmentEntries;
    std::vector<char*> envp;
    if (!environmentOverrides.isEmpty()) {
        environmentEntries = environmentWith(environmentOverrides);
        envp.reserve(environmentEntries.size() + 1);
        for (QByteArray& entry : environmentEntries) envp.push_back(entry.data());
        envp.push_back(nullptr);
    }

    const bool captureErrors = errorHandling == Stderr::capture;
    FileDescriptor outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || (captureErrors && !makePipe(errRead, errWrite))) {
        result.status = ToolResult::Status::failedToStart;
        return result;
    }

    // A process group of its own, so that a timeout can end whatever it started as well.
    SpawnSetup setup;
    bool ready = setup.prepare(POSIX_SPAWN_SETPGROUP) && posix_spawnattr_setpgroup(&setup.attributes, 0) == 0;
    if (ready) {
        ready = posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null",
                                                    O_RDONLY, 0) == 0
                && posix_spawn_file_actions_adddup2(&setup.actions, outWrite.get(),
                                                    STDOUT_FILENO) == 0
                && (captureErrors
                        ? posix_spawn_file_actions_adddup2(&setup.actions, errWrite.get(),
                                                           STDERR_FILENO) == 0
                        : posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO,
                                                           "/dev/null", O_WRONLY, 0) == 0);
    }
    pid_t pid = -1;
    if (!ready || posix_spawn(&pid, executable.constData(), &setup.actions, &setup.attributes,
                              argv.argv(), envp.empty() ? environ : envp.data()) != 0) {
        result.status = ToolResult::Status::failedToStart;
        return result;
    }
    // Only the child holds the write ends now, so end of file means it (and
    // everything it started) closed them.
    outWrite.reset();
    errWrite.reset();

    bool reaped = false;
    bool timedOut = false;
    bool statusLost = false;  // the status was taken by someone else (SIGCHLD ignored)
    int status = 0;
    int exitSlice = 1;
    for (;;) {
        if (!reaped) {
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno == ECHILD)) {
                reaped = true;
                statusLost = r < 0;
            }
        }
        if (reaped && !outRead.valid() && !errRead.valid()) break;

        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0 || stop.stop_requested()) {
            timedOut = true;
            break;
        }
        pollfd fds[2];
        nfds_t count = 0;
        if (outRead.valid()) fds[count++] = {outRead.get(), POLLIN, 0};
        if (errRead.valid()) fds[count++] = {errRead.get(), POLLIN, 0};
        // While the child runs its exit is checked every slice; a child that
        // closed its pipes is usually about to exit, so those slices start short.
        // Once the child is gone, the stragglers' pipes are awaited up to the deadline.
        int slice = kSliceMilliseconds;
        if (!outRead.valid() && !errRead.valid()) {
            slice = exitSlice;
            exitSlice = std::min(exitSlice * 2, kSliceMilliseconds);
        }
        // A stop request is looked for every slice, also once the child is gone.
        const bool longWait = reaped && !stop.stop_possible();
        const int wait = static_cast<int>(std::min<long long>(remaining.count(), longWait ? remaining.count() : slice));
        if (::poll(count ? fds : nullptr, count, wait) < 0 && errno != EINTR) {
            // Cannot watch the pipes any more: fall back to waiting in slices.
            struct timespec pause = {0, kSliceMilliseconds * 1000000L};
            ::nanosleep(&pause, nullptr);
        }
        drain(outRead, output);
        drain(errRead, errors);
    }

    if (timedOut) {
        // End the whole group (the child and whatever it started), then the
        // child itself in case it left the group, and reap it.
        ::kill(-pid, SIGKILL);
        if (!reaped) {
            ::kill(pid, SIGKILL);
            statusLost = waitBlocking(pid, &status) != pid;
            // The child may have exited on its own just before the kill.
            timedOut = statusLost || !WIFEXITED(status);
        } else {
            timedOut = false;  // it ended in time; only stragglers kept the pipes open
        }
        drain(outRead, output);
        drain(errRead, errors);
    }

    if (timedOut) {
        result.status = ToolResult::Status::timedOut;
    } else if (statusLost) {
        // The exit status was lost (children reaped elsewhere); never reported as success.
        result.status = ToolResult::Status::finished;
        result.exitCode = -1;
    } else {
        setEnding(result, status);
    }
    return result;
}

}  // namespace tarnwick
