#pragma once

#include "models/SafeBinEntry.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct stat;

namespace tarnwick {

// The Safe Bin's journal of intents (manifest.journal): one JSON object a
// line, written and synced before the change it announces, emptied once the
// manifest holds the outcome. What a crash leaves in it is settled by the
// next change of the bin.
namespace SafeBinJournal {

inline constexpr const char* kFileName = "manifest.journal";

enum class Kind {
    move,     // the entry's item (or members) is about to move in
    restore,  // the entry's item (or members) is about to go back
    destroy,  // the entry's item is about to be removed for good
    copied,   // a copy made for a move in is whole; the original had the identity given
    placed,   // a copy made for a restore is whole at its destination, with the identity given
};

struct Line {
    Kind kind = Kind::move;
    SafeBinEntry entry;      // move, restore, destroy
    QUuid id;                // copied, placed: the entry's id
    QString storedPath;      // copied, placed: the copy's place below the bin ("<stored name>[/<member>…]")
    QString destination;     // placed: the path the copy goes to
    quint64 device = 0;      // copied: the original's; placed: the copy's
    quint64 inode = 0;
};

QByteArray entryLine(Kind kind, const SafeBinEntry& entry);
QByteArray identityLine(Kind kind, const QUuid& id, const QString& storedPath, const QString& destination,
                        const struct stat& st);

// Appends lines and syncs them; journalPath words a failure.
std::optional<FileError> append(int binFd, const QString& journalPath, const QByteArray& lines);
// The lines of the journal; a line torn by a crash is skipped.
std::vector<Line> read(int binFd);
// True when the journal holds anything.
bool hasContent(int binFd);
// Empties the journal (it stays in place, so that recording never has to
// make a new folder entry).
void clear(int binFd);

}  // namespace SafeBinJournal

}  // namespace tarnwick
