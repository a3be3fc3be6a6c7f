#pragma once

#include "platform/FileLock.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

class QLocalServer;

namespace tarnwick {

// Keeps the program to one running copy per support folder, so two copies
// never work on one Safe Bin and one activity log from two windows. The copy
// that starts first holds an exclusive lock on "instance.lock" in the folder
// for its lifetime and listens on a local socket there; a later start finds
// the lock taken and asks the running copy, through the socket, to bring its
// window forward, then ends. Where the running copy cannot be reached, the
// later start is refused with refusalMessage().
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        primary,    // this is the running copy: start the application
        forwarded,  // another copy runs and was asked to come forward: end quietly
        refused,    // another copy runs but did not answer: tell the user, then end
    };

    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Decides this process's role; blocks a few seconds at most (while a
    // copy that has just started gets its socket ready).
    Role claim();

    // "Tarnwick is already running. ..." for Role::refused.
    static QString refusalMessage();
    // The socket's path: in the folder, or in the temporary folder (named
    // after the folder) when that path would be too long for a local socket.
    QString socketPath() const;

    // How long a later start waits for the running copy (tests shorten it).
    void setPatience(std::chrono::milliseconds patience) { patience_ = patience; }

signals:
    // A later start asked for the window to come forward.
    void activationRequested();

private:
    bool forwardToRunningCopy();
    void listen();

    QString folder_;
    std::optional<FileLock> lock_;
    QLocalServer* server_ = nullptr;
    std::chrono::milliseconds patience_{3000};
};

}  // namespace tarnwick
