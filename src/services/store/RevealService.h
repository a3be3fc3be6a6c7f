#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace tarnwick {

// Hands files, folders and web addresses to the desktop. Revealing shows a
// file or folder selected in the desktop's file manager: the file-manager
// interface (org.freedesktop.FileManager1 ShowItems, sent with dbus-send) is
// asked first; where it is missing or refuses, the folder that holds the item
// is opened instead. Opening goes through xdg-open, whose exit status tells
// whether any application took the request; when none did, the caller's
// failure handler gets a message for the user.
namespace RevealService {

// Receives the message for the user when a request found no taker; called on
// the application's thread.
using FailureHandler = std::function<void(const QString& message)>;

// The file URL of a path as the file-manager interface takes it: commas are
// escaped too, because dbus-send splits array items on them.
QString fileUrlText(const QString& path);
// The dbus-send arguments that ask the file manager to show the path.
QStringList showItemsArguments(const QString& path);
// The URL opened when the file manager cannot be asked: the holding folder.
QUrl containingFolderUrl(const QString& path);
// The xdg-open arguments for a URL: a local file as its path, anything else as its text.
QStringList openArguments(const QUrl& url);

// Reveals the path without blocking the caller: the file-manager call and the
// fallback run on a worker thread. Goes to the handler instead while one is set.
void reveal(const QString& path, FailureHandler onFailure = {});
// Replaces what reveal() does (tests record the paths); an empty function
// restores the desktop's file manager.
void setHandler(std::function<void(const QString& path)> handler);

// Opens a web address, file or folder with the desktop's default application,
// without blocking the caller (xdg-open runs on a worker thread).
void open(const QUrl& url, FailureHandler onFailure);

// Synchronous: true when the file-manager interface accepted the request.
bool showInFileManager(const QString& path);
// Synchronous: runs xdg-open. None when an application took the URL (or is
// still starting up with it), else why not, as a message for the user.
std::optional<QString> openWithDesktop(const QUrl& url);

}  // namespace RevealService

}  // namespace tarnwick
