#pragma once

#include "platform/FileEntry.h"
#include "platform/Locations.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stop_token>

namespace tarnwick {

// One application bundle of an applications folder, with what the finders
// read from its Info.plist (Contents/Info.plist, XML or binary).
struct AppBundle {
    QString name;  // the folder's name without ".app"
    QString path;
    qint64 modifiedMSecs = 0;  // the entry's own modification time
    // A real folder. Entries that only carry the name (a link, a file) are
    // listed too, so that their names count as installed, but nothing is
    // read through them.
    bool isFolder = false;
    // The Info.plist was read and its top level is a dictionary.
    bool hasInfo = false;
    // CFBundleIdentifier, when it is usable as a file name: text of at most
    // 255 characters without "/", control characters or a leading ".".
    std::optional<QString> bundleId;
    // CFBundleShortVersionString when it is text, else CFBundleVersion when
    // that is text, else "?".
    QString version = QStringLiteral("?");
    // SUFeedURL when it is text, else SUFeedUrl when that is text.
    std::optional<QString> feed;

    // The name is the program's own, under its current or earlier name.
    bool isThisProgram() const;

    // Reads the bundle at a folder's entry. An unreadable, oversized or
    // malformed Info.plist (or a Contents that is not a real folder), and an
    // entry that is not a folder, leave hasInfo false and the values at their
    // defaults.
    static AppBundle read(const FileEntry& entry);
    // The entries directly inside each folder in turn, in listing order,
    // whose name ends in ".app" exactly, hidden entries skipped; a folder that
    // cannot be listed gives none. A stop request ends the listing with what
    // was read so far.
    static QList<AppBundle> list(const QStringList& folders, const std::stop_token& stop = {});
    // "/Applications", then "~/Applications".
    static QStringList applicationFolders(const Locations& locations);
    static bool isUsableIdentifier(const QString& identifier);
};

}  // namespace tarnwick
