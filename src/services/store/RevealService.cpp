#include "services/store/RevealService.h"

#include "platform/Environment.h"
#include "platform/PathCodec.h"
#include "platform/ToolRunner.h"
#include "support/PathRules.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QMutex>
#include <QThreadPool>

#include <chrono>

namespace tarnwick::RevealService {

namespace {

const QString kDbusSend = QStringLiteral("/usr/bin/dbus-send");
const QString kXdgOpen = QStringLiteral("/usr/bin/xdg-open");
constexpr std::chrono::milliseconds kCallTimeout{5000};
// How long xdg-open is watched. It finds out within moments whether anything
// takes the request; on some desktops it then runs the application in the
// foreground, which is left running.
constexpr std::chrono::milliseconds kOpenWatch{5000};
// xdg-open's exit status for a file or address that does not exist.
constexpr int kXdgFileMissing = 2;

QMutex handlerMutex;

std::function<void(const QString&)>& handlerSlot() {
    static std::function<void(const QString&)> handler;
    return handler;
}

bool runShowItems(const QString& program, const QString& path) {
    return ToolRunner::run(program, showItemsArguments(path), kCallTimeout).succeeded();
}

QString quoted(const QString& text) {
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
}

// What the user knows the target as: a path with "~" for the home folder, or the address.
QString shownTarget(const QUrl& url) {
    return url.isLocalFile() ? PathRules::abbreviatingWithTilde(url.toLocalFile())
                             : url.toDisplayString(QUrl::PreferLocalFile);
}

// Why xdg-open took nothing, as the end of a sentence about `subject` ("it",
// "its folder"); none when it did.
std::optional<QString> failureReason(const ToolResult& result, const QString& subject) {
    using Status = ToolResult::Status;
    switch (result.status) {
    case Status::running:
        return std::nullopt;
    case Status::notFound:
    case Status::failedToStart:
        return QStringLiteral("xdg-open, which hands files and links to the desktop, is not installed.");
    case Status::finished:
        if (result.exitCode == 0) return std::nullopt;
        if (result.exitCode == kXdgFileMissing) return subject + QStringLiteral(" does not exist.");
        return QStringLiteral("no application on this computer is set up to open ") + subject + QLatin1Char('.');
    case Status::crashed:
    case Status::timedOut:
        break;
    }
    return QStringLiteral("the desktop did not answer.");
}

// Runs xdg-open on the URL; why nothing took it, or none.
std::optional<QString> desktopRefusal(const QUrl& url, const QString& subject) {
    const ToolResult result =
        ToolRunner::launch(Environment::current().toolPath(kXdgOpen), openArguments(url), kOpenWatch);
    return failureReason(result, subject);
}

// Runs the failure handler on the application's thread.
void report(const FailureHandler& onFailure, const QString& message) {
    if (!onFailure) return;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, [onFailure, message] { onFailure(message); }, Qt::QueuedConnection);
    }
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

QStringList openArguments(const QUrl& url) {
    return {url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)};
}

bool showInFileManager(const QString& path) {
    return runShowItems(Environment::current().toolPath(kDbusSend), path);
}

std::optional<QString> openWithDesktop(const QUrl& url) {
    const std::optional<QString> reason = desktopRefusal(url, QStringLiteral("it"));
    if (!reason) return std::nullopt;
    return QStringLiteral("Could not open ") + quoted(shownTarget(url)) + QStringLiteral(": ") + *reason;
}

void reveal(const QString& path, FailureHandler onFailure) {
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
    const bool canAsk = QFileInfo(program).isExecutable();
    const QUrl folder = containingFolderUrl(path);
    QThreadPool::globalInstance()->start([program, canAsk, path, folder, onFailure] {
        if (canAsk && runShowItems(program, path)) return;
        const std::optional<QString> reason = desktopRefusal(folder, QStringLiteral("its folder"));
        if (!reason) return;
        report(onFailure, QStringLiteral("Could not show ") + quoted(PathRules::abbreviatingWithTilde(path)) +
                              QStringLiteral(" in the File Manager: ") + *reason);
    });
}

void open(const QUrl& url, FailureHandler onFailure) {
    if (url.isEmpty()) return;
    QThreadPool::globalInstance()->start([url, onFailure] {
        if (const std::optional<QString> message = openWithDesktop(url)) report(onFailure, *message);
    });
}

void setHandler(std::function<void(const QString& path)> handler) {
    QMutexLocker lock(&handlerMutex);
    handlerSlot() = std::move(handler);
}

}  // namespace tarnwick::RevealService
