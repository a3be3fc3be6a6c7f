#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tarnwick {

// A file in the freedesktop desktop entry form, read whole: the autostart
// entries and unit files the finders judge, and files of the same
// "[Group]" and "Key=Value" form such as a browser's profile list. These
// files come from other programs (or from whoever planted them), so they are
// read as the file system stores them: bytes that are not UTF-8 are kept as
// PathCodec keeps them in file names, never dropped or taken as a reason to
// look away, and a file that cannot be read whole within the cap says so.
class DesktopEntryFile {
public:
    // Far above any real entry; a file past it is not read at all.
    static constexpr qint64 kLimit = 8 * 1024 * 1024;

    enum class Status {
        ok,
        gone,        // nothing there (any more), or a link to nothing
        notAFile,    // a folder, device, pipe or socket (a unit masked by a link to /dev/null)
        unreadable,  // there, but it could not be opened or read
        tooLarge,    // larger than the cap
    };

    struct Group {
        QString name;
        QList<std::pair<QString, QString>> entries;  // keys and raw values, in file order
    };

    // Reads path, following a link at its last component to the target (a
    // link is what a user makes to an application's entry, and what someone
    // planting an entry may use). Never reads more than limit bytes.
    static DesktopEntryFile read(const QString& path, qint64 limit = kLimit);
    // The entry of a text already read.
    static DesktopEntryFile parse(const QString& text);

    Status status() const { return status_; }
    bool isRead() const { return status_ == Status::ok; }
    // The whole file, bytes that are not UTF-8 as PathCodec escapes.
    const QString& text() const { return text_; }
    // The device and inode of what was read (the link's target), for telling
    // two names of one file apart.
    quint64 device() const { return device_; }
    quint64 inode() const { return inode_; }

    const QList<Group>& groups() const { return groups_; }
    bool hasGroup(const QString& name) const;
    // The raw value of key in the named group; a key given twice takes its
    // last value, and a group given twice counts as one.
    std::optional<QString> value(const QString& group, const QString& key) const;
    // The same in the "Desktop Entry" group, unescaped (\s \n \t \r \\).
    std::optional<QString> entryString(const QString& key) const;
    // The value of a localised key in the "Desktop Entry" group, unescaped,
    // for a locale in the POSIX form lang_COUNTRY.ENCODING@MODIFIER: the first
    // of key[lang_COUNTRY@MODIFIER], key[lang_COUNTRY], key[lang@MODIFIER],
    // key[lang] that is there, else the plain key (the freedesktop matching
    // order; the encoding plays no part).
    std::optional<QString> entryLocaleString(const QString& key, const QString& locale) const;
    // "true" or "1", "false" or "0"; anything else counts as absent.
    std::optional<bool> entryBoolean(const QString& key) const;
    // A ";"-separated list ("\;" keeps a semicolon), empty items dropped.
    QStringList entryList(const QString& key) const;

private:
    Status status_ = Status::gone;
    QString text_;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    QList<Group> groups_;
};

}  // namespace tarnwick
