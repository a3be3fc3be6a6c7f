#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <stop_token>

namespace tarnwick {

// What became of one run of an external program.
struct ToolResult {
    enum class Status {
        finished,       // the program ran and exited by itself; see exitCode
        notFound,       // no such program (path missing, or not on PATH)
        failedToStart,  // it exists but could not be started (not executable, a folder, no resources)
        crashed,        // it was ended by a signal it did not ask for; see signalNumber
        timedOut,       // it outlived the timeout and was killed
        running,        // launch() only: still running when the watch ended, and left running
    };

    Status status = Status::failedToStart;
    int exitCode = -1;      // the exit status when finished, else -1
    int signalNumber = 0;   // the ending signal when crashed, else 0
    QByteArray output;      // everything the program wrote to standard output (also when it failed)
    QByteArray errorOutput; // its standard error when the caller asked for it, else empty
    // The program wrote more than the caller's limit to that stream: what is
    // kept is the beginning, and the rest was read and dropped.
    bool outputCut = false;
    bool errorOutputCut = false;

    // True exactly when the program finished with exit status 0.
    bool succeeded() const { return status == Status::finished && exitCode == 0; }
};

// Runs external programs synchronously, without a shell and without an event
// loop, so any thread may call it (the calling thread blocks for the run).
//
// The program gets the argument list as given (each argument's bytes made by
// PathCodec, so a path that is not UTF-8 arrives as its own bytes), the process's own environment
// and working folder, the null device as standard input, and a process group
// of its own. Standard output (and standard error when captured) are read
// while it runs, so a talkative program never stalls on a full pipe. When the
// timeout passes, the program and anything left in its process group are
// killed with SIGKILL and the child is reaped before run() returns.
//
// Callers resolve a system tool's path through Environment::toolPath() first.
//
// `environmentOverrides` holds "NAME=value" entries that replace (or add to)
// the variables the program inherits, such as "LC_ALL=C" for output that
// must not depend on the user's locale. A stop request ends the run as the
// timeout does (the result says timedOut), so a caller whose work was
// replaced does not wait for a slow tool. `outputLimit` caps what is kept of
// each stream (-1: everything); what lies beyond is still read, so the
// program never blocks on a full pipe, and dropped.
class ToolRunner {
public:
    enum class Stderr { discard, capture };
    static constexpr qsizetype unlimited = -1;

    static ToolResult run(const QString& program, const QStringList& arguments,
                          std::chrono::milliseconds timeout = std::chrono::seconds(30),
                          Stderr errorHandling = Stderr::discard,
                          const QStringList& environmentOverrides = {},
                          const std::stop_token& stop = {},
                          qsizetype outputLimit = unlimited);

    // Whether run() would find the program and could start it, without
    // running it: notFound when nothing is there, failedToStart when what is
    // there is not a file this user may run (a folder, no execute
    // permission); nothing when it looks runnable.
    static std::optional<ToolResult::Status> whyNotRunnable(const QString& program);

    // Starts a program that hands something to the desktop and may itself go
    // on running (xdg-open starting a browser in the foreground): it gets the
    // null device for all three standard streams and a session of its own, so
    // nothing ties it to this process. Waits up to `watch` for it to end and
    // reports how it ended; a program still running then is left running
    // (reaped in the background when it ends) and reported as `running`.
    // Never kills what it started. Blocks the calling thread for the watch.
    static ToolResult launch(const QString& program, const QStringList& arguments,
                             std::chrono::milliseconds watch);
};

}  // namespace tarnwick
