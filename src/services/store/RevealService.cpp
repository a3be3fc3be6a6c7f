#include "services/store/RevealService.h"

#include "platform/Environment.h"
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

}  // namespace

QString fileUrlText(const QString& path) {
    QString text = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    text.replace(QLatin1Char(','), QStringLiteral("%2C"));
    return text;
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
    return QUrl::fromLocalFile(folder.isEmpty() ? QStringLiteral("/") : folder);
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
