#pragma once

#include "platform/ExtendedAttributes.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tarnwick {

// What a move does with the extended attributes of the items it moves, the
// one place that decides it (FileOperations::moveAt() asks it; the Safe Bin
// chooses which one a move gets):
// - which go: a copy carries every attribute of the item that this process
//   may set (one that is not ours to set is passed over), except, on the way
//   back from a store, one an item never had where it came from (recorded);
// - which are kept beside: into a store, what the store's file system cannot
//   hold (cannotHold()) is handed to the store to keep beside the item, never
//   the system's own (isSystems());
// - which are required: otherwise an attribute the destination cannot hold
//   fails the move with the true reason, never as a full disk; on the way
//   back only one the item had where it came from does, never the system's
//   own (the file system there gives its own).
// A policy also carries what the move notes for the store (keptBeside(),
// gained()) and what it gives back (the attributes kept beside, set on the
// item once it is there).
class AttributePolicy {
public:
    using Attribute = ExtendedAttributes::Attribute;

    // The attributes one item of a tree had where it came from (item relative
    // to the tree's top, empty: the top), noted where its copy carries more:
    // an ACL inherited from a default ACL of the folders it went into, say.
    struct Had {
        QByteArray item;
        std::vector<QByteArray> names;
        bool operator==(const Had&) const = default;
    };

    enum class Unheld { fail, keepBeside, passOver };

    // Every attribute the destination cannot hold fails the move.
    AttributePolicy() = default;
    // Into a store: what the destination cannot hold is kept beside, and what
    // each item had is noted where its copy carries more.
    static AttributePolicy intoStore();
    // Back from a store: kept (what was kept beside, relative to the item) is
    // set on the item once it is there; had is what intoStore() noted. An item
    // had names no record of carries only what it had where it came from.
    static AttributePolicy backFromStore(std::vector<Attribute> kept, std::vector<Had> had);

    // security.* and trusted.*: the system's own, never kept beside an item,
    // never set from what was kept, never required of a destination.
    static bool isSystems(const QByteArray& name);
    // Whether item names the top of a tree (empty) or an item inside it: no
    // part empty, "." or "..", so never a path from "/" nor one out of it.
    static bool namesItemInside(const QByteArray& item);
    // True when a failure to set a value of that many bytes on the open item fd
    // means that its file system cannot hold the attribute, not that it is out
    // of space: no such attributes there (ENOTSUP), a value larger than it takes
    // (E2BIG, ERANGE), or "no space" while it has room for far more (ext4 says
    // that of a value that fits no block).
    static bool cannotHold(int error, int fd, qint64 valueBytes);
    // The failure for an attribute that cannot be held: what, then the true
    // reason; never "no space".
    static FileError unheldError(int error, const QString& what, qint64 valueBytes);

    // Whether a copy carries the attribute of the item (relative to the top).
    bool goes(const QByteArray& item, const QByteArray& name) const;
    // What becomes of an attribute of the item the destination cannot hold.
    Unheld whenUnheld(const QByteArray& item, const QByteArray& name) const;
    // Whether a copy notes the items that carry more than they had (gained()).
    bool notesGains() const { return mode_ == Mode::intoStore; }

    // Noted by the copy.
    void keepBeside(Attribute attribute) { keptBeside_.push_back(std::move(attribute)); }
    void noteGained(Had had) { gained_.push_back(std::move(had)); }
    // What the move noted: the attributes to keep beside the item, the items
    // whose copy carries more than they had.
    const std::vector<Attribute>& keptBeside() const { return keptBeside_; }
    const std::vector<Had>& gained() const { return gained_; }

    // Gives the items of the tree at the entry name of dirFd (path words it)
    // the attributes kept beside. One whose item is not there, or is a link,
    // is passed over, and so is an item named with an empty, "." or ".." part;
    // an item its owner may not read or write gets them all the same. A
    // failure names the attribute and the item, with the true reason.
    std::optional<FileError> giveKept(int dirFd, const QByteArray& name, const QString& path) const;

private:
    enum class Mode { strict, intoStore, backFromStore };
    const Had* recordOf(const QByteArray& item) const;

    Mode mode_ = Mode::strict;
    std::vector<Attribute> kept_;
    std::vector<Had> had_;
    std::vector<Attribute> keptBeside_;
    std::vector<Had> gained_;
};

}  // namespace tarnwick
