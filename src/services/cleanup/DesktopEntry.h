#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

// What the app finders read of a freedesktop desktop entry ("*.desktop") and
// of the key files written in the same format (a Flatpak app's metadata).
// Files come from places any program writes to, so reads are capped and a
// file that is not UTF-8 gives nothing.
struct DesktopEntry {
    static constexpr qint64 kReadLimit = 64 * 1024;

    QString path;
    QString name;     // Name= (not localised), empty when missing
    QString program;  // the program Exec= starts (its first word, unquoted), else TryExec=
    QString appImageVersion;  // X-AppImage-Version=, written by the tools that add AppImages to the menu

    // The "[Desktop Entry]" group of the file at path, read up to the limit.
    // Nothing when the file is not a regular file, is not UTF-8 or has no such group.
    static std::optional<DesktopEntry> read(const QString& path);

    // The words of an Exec= value as the desktop entry rules quote them:
    // separated by spaces, a word in double quotes may hold spaces and the
    // escapes \", \`, \$ and \\. Nothing when a quote is left open.
    static std::optional<QStringList> execWords(const QString& exec);
};

}  // namespace tarnwick
