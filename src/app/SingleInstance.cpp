#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>

namespace tarnwick {

namespace {

const QByteArray kRequest = "show\n";
const QByteArray kReply = "shown\n";
// sockaddr_un holds 108 bytes with the terminating zero; keep well inside.
constexpr qsizetype kMaxSocketPathBytes = 100;

}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent) : QObject(parent), folder_(folder) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
}

QString SingleInstance::socketPath() const {
    const QString inFolder = folder_ + QStringLiteral("/instance.socket");
    if (QFile::encodeName(inFolder).size() <= kMaxSocketPathBytes) return inFolder;
    const QByteArray tag = QCryptographicHash::hash(QFile::encodeName(folder_), QCryptographicHash::Sha1).toHex().left(16);
    return QDir::tempPath() + QStringLiteral("/tarnwick-") + QString::fromLatin1(tag) + QStringLiteral(".socket");
}

QString SingleInstance::refusalMessage() {
    return QStringLiteral(
        "Tarnwick is already running, but its window could not be brought forward. "
        "Switch to it, or quit it before starting Tarnwick again.");
}

SingleInstance::Role SingleInstance::claim() {
    QDir().mkpath(folder_);
    lock_.emplace(folder_ + QStringLiteral("/instance.lock"), FileLock::Wait::no);
    if (lock_->isLocked()) {
        listen();
        return Role::primary;
    }
    if (lock_->error() != EWOULDBLOCK) {
        // No lock can be had here at all (a read-only folder): nothing to
        // guard with, and no reason to keep the user out.
        return Role::primary;
    }
    return forwardToRunningCopy() ? Role::forwarded : Role::refused;
}

void SingleInstance::listen() {
    const QString path = socketPath();
    // Only the lock holder gets here, so a socket file left over is stale.
    QLocalServer::removeServer(path);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) return;
                if (socket->readLine(64) == kRequest) {
                    socket->write(kReply);
                    socket->flush();
                    emit activationRequested();
                }
                socket->disconnectFromServer();
            });
        }
    });
    server_->listen(path);  // when it fails, later starts are refused with a message
}

bool SingleInstance::forwardToRunningCopy() {
    QElapsedTimer waited;
    waited.start();
    const auto patience = patience_.count();
    do {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(patience))) {
            socket.write(kRequest);
            if (!socket.waitForBytesWritten(int(patience))) return false;
            QByteArray reply;
            while (!reply.contains('\n') && waited.elapsed() < 2 * patience && socket.waitForReadyRead(int(patience))) {
                reply += socket.readAll();
            }
            return reply == kReply;
        }
        // The running copy may be just starting: its socket is not there yet.
        QThread::msleep(100);
    } while (waited.elapsed() < patience);
    return false;
}

}  // namespace tarnwick
