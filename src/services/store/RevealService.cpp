#include "services/store/RevealService.h"

#include "platform/Environment.h"
#include "platform/PathCodec.h"
#include "platform/ToolRunner.h"
#include "support/PathRules.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMetaObject>
#include <QMutex>
#include <QThreadPool>

#include <chrono>

namespace tarnwick::RevealService {

namespace {

const QString kDbusSend = QStringLiteral("/usr/bin/dbus-send");
constexpr std::chrono::milliseconds kCallTimeout{5000};

QMutex handlerMutex;

std::function<void(const QString&)>& handlerSlot() {
    static std::function<void(const QString&)> handler;
    return handler;
}

bool runShowItems(const QString& program, const QString& path) {
    return ToolRunner::run(program, showItemsArguments(path), kCallTimeout).succeeded();
}

void openContainingFolder(const QString& path) {
    QDesktopServices::openUrl(containingFolderUrl(path));
}

QByteArray encodedFileUrl(const QString& path) {
    // From the file's own bytes (PathCodec), so a name that is not UTF-8 is
    // percent-encoded byte for byte and names its own file.
    return QByteArrayLiteral("file://") + PathCodec::encode(path).toPercentEncoding("/!$&'()*+;=:@");
}

}  // namespace

QString fileUrlText(const QString& path) {
    return QString::fromLatin1(encodedFileUrl(path));
}

QStringList showItemsArguments(const QString& path) {
    return {
        QStringLiteral("--session"),
        QStringLiteral("--print-reply"),
        QStringLiteral("--reply-timeout=3000"),
        QStringLiteral("--dest=org.freedesktop.FileManager1"),
        QStringLiteral("--type=method_call"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
        QStringLiteral("array:string:") + fileUrlText(path),
        QStringLiteral("string:"),
    };
}

QUrl containingFolderUrl(const QString& path) {
    // A folder is shown from its parent, like a file; "/" opens itself.
    const QString folder = PathRules::deletingLastPathComponent(path);
    return QUrl::fromEncoded(encodedFileUrl(folder.isEmpty() ? QStringLiteral("/") : folder), QUrl::StrictMode);
}

bool showInFileManager(const QString& path) {
    return runShowItems(Environment::current().toolPath(kDbusSend), path);
}

void reveal(const QString& path) {
    if (path.isEmpty()) return;
    std::function<void(const QString&)> handler;
    {
        QMutexLocker lock(&handlerMutex);
        handler = handlerSlot();
    }
    if (handler) {
        handler(path);
        return;
    }
    const QString program = Environment::current().toolPath(kDbusSend);
    if (!QFileInfo(program).isExecutable()) {
        openContainingFolder(path);
        return;
    }
    QThreadPool::globalInstance()->start([program, path] {
        if (runShowItems(program, path)) return;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, [path] { openContainingFolder(path); }, Qt::QueuedConnection);
        }
    });
}

void setHandler(std::function<void(const QString& path)> handler) {
    QMutexLocker lock(&handlerMutex);
    handlerSlot() = std::move(handler);
}

}  // namespace tarnwick::RevealService
