#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace tarnwick {

// Shows a file or folder selected in the desktop's file manager. The desktop's
// file-manager interface (org.freedesktop.FileManager1 ShowItems, sent with
// dbus-send) is asked first; where it is missing or refuses, the folder that
// holds the item is opened instead.
namespace RevealService {

// The file URL of a path as the file-manager interface takes it: commas are
// escaped too, because dbus-send splits array items on them.
QString fileUrlText(const QString& path);
// The dbus-send arguments that ask the file manager to show the path.
QStringList showItemsArguments(const QString& path);
// The URL opened when the file manager cannot be asked: the holding folder.
QUrl containingFolderUrl(const QString& path);

// Reveals the path without blocking the caller: the file-manager call runs on
// a worker thread; the fallback runs on the application's thread. Goes to the
// handler instead while one is set.
void reveal(const QString& path);
// Replaces what reveal() does (tests record the paths); an empty function
// restores the desktop's file manager.
void setHandler(std::function<void(const QString& path)> handler);

// Synchronous: true when the file-manager interface accepted the request.
bool showInFileManager(const QString& path);

}  // namespace RevealService

}  // namespace tarnwick
