#include "services/safebin/SafeBinIntake.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "platform/WalkBoundary.h"
#include "services/safebin/SafeBinAttributes.h"
#include "services/safebin/SafeBinErrors.h"
#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinMeasure.h"
#include "services/safebin/SafeBinPurge.h"
#include "services/safebin/SafeBinSession.h"
#include "services/safebin/SafeBinUpkeep.h"
#include "services/store/TrashService.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinIntake {

using Journal = SafeBinJournal::Kind;

namespace {

// Intents are written and synced for this many items at a time, then those
// items move: one sync per batch instead of one per item, and a crash still
// finds every item that moved announced in the journal.
constexpr qsizetype kIntentBatch = 256;

QString movedInAction(const QString& path) {
    return QStringLiteral("move ") + FileError::quoted(path) + QStringLiteral(" into the Safe Bin");
}

FileError refusal(int code, const QString& path, const QString& why) {
    return FileError::tarnwick(code, QStringLiteral("Could not ") + movedInAction(path) + QStringLiteral(": ") + why);
}

// One error for several: the first one's domain and code, the first few
// descriptions, and how many more there were.
FileError combined(const std::vector<FileError>& errors) {
    FileError first = errors.front();
    QStringList texts;
    for (size_t i = 0; i < errors.size() && qsizetype(i) < SafeBinErrors::kNamedFailures; ++i) {
        if (!texts.contains(errors[i].description)) texts.append(errors[i].description);
    }
    if (qsizetype(errors.size()) > SafeBinErrors::kNamedFailures) {
        const qsizetype more = qsizetype(errors.size()) - SafeBinErrors::kNamedFailures;
        texts.append(QString::number(more) + (more == 1 ? QStringLiteral(" more item was") : QStringLiteral(" more items were")) +
                     QStringLiteral(" not moved either."));
    }
    first.description = texts.join(QLatin1Char(' '));
    return first;
}

// ---- Moving in ----

// The folder a member comes from, opened as written; consecutive members of
// one folder (a folder's entries) share it.
struct OpenedFolder {
    QString path;  // standardised, as written
    FileDescriptor fd;
    int error = 0;
    dev_t device = 0;
    QString kernel;  // as the kernel names it, links resolved
};

const OpenedFolder& openSource(OpenedFolder& cache, const QString& folder) {
    if (cache.path == folder && (cache.fd.valid() || cache.error)) return cache;
    cache = OpenedFolder{};
    cache.path = folder;
    cache.fd = FileOperations::openFolderAsWritten(folder, SafeBinFolder::trustedPrefix(), cache.error);
    if (cache.fd.valid()) {
        struct stat st {};
        if (::fstat(cache.fd.get(), &st) == 0) cache.device = st.st_dev;
        cache.kernel = FileOperations::kernelPath(cache.fd.get());
    }
    return cache;
}

enum class MoveStatus { moved, gone, failed };

struct MemberMove {
    MoveStatus status = MoveStatus::failed;  // before the move: moved means ready to move
    qint64 size = 0;
    std::optional<SafeBinEntry::Remains> remains;
    std::optional<FileError> error;  // failed, or moved with its original not wholly removed
    QString path;                    // as given
    QString folder;                  // where it came from, as written
    QByteArray name;
    FileDescriptor parent;           // that folder, opened as written
    struct stat st {};
    bool inBin = false;              // it is in the bin now
    // What is kept beside it (relative to it): the attributes the bin's file
    // system could not hold, what its items had.
    SafeBinAttributes::Kept kept;
};

// Checks one item before it moves in (see moveToSafeBin()): status moved
// when it is ready to move.
MemberMove checkOneIn(SafeBinSession& session, OpenedFolder& sources, const QString& path, const std::optional<FileIdentity>& seen) {
    MemberMove result;
    result.path = path;
    auto fail = [&](FileError error) {
        result.status = MoveStatus::failed;
        result.error = std::move(error);
        return std::move(result);
    };
    auto gone = [&] {
        result.status = MoveStatus::gone;
        return std::move(result);
    };
    const QString name = PathRules::lastPathComponent(path);
    if (!path.startsWith(QLatin1Char('/')) || !SafeBinFolder::namesAnItem(name)) {
        return fail(refusal(SafeBinErrors::kInvalidPathCode, path, QStringLiteral("it is not the full path of an item.")));
    }
    const int present = FileOperations::probe(path);
    if (present == ENOENT || present == ENOTDIR) return gone();  // nothing there: skipped
    const QString& bin = session.bin;
    if (SafeBinFolder::touchesBin(path, bin)) {
        return fail(
            refusal(SafeBinErrors::kInvalidPathCode, path, QStringLiteral("it holds or is part of the Safe Bin itself.")));
    }
    if (!TrashService::canCollect(path)) {
        return fail(refusal(SafeBinErrors::kProtectedPathCode, path, QStringLiteral("it is a protected location.")));
    }
    const QString standard = PathRules::standardizingPath(path);
    result.folder = PathRules::deletingLastPathComponent(standard);
    result.name = PathCodec::encode(PathRules::lastPathComponent(standard));
    if (const int fault = FileOperations::injectedFault("check", path)) {
        return fail(FileError::system(fault, QStringLiteral("Could not ") + movedInAction(path)));
    }
    // The folder as the user saw it written: a link swapped in on the way is refused.
    const OpenedFolder& parent = openSource(sources, result.folder);
    if (parent.error == ENOENT) return gone();  // gone meanwhile: nothing to move
    if (parent.error == ELOOP || parent.error == ENOTDIR) {
        return fail(refusal(SafeBinErrors::kPathChangedCode, path,
                            QStringLiteral("a folder on its path was replaced after it was checked, so nothing was moved.")));
    }
    if (parent.error) return fail(FileError::system(parent.error, QStringLiteral("Could not ") + movedInAction(path)));
    struct stat& st = result.st;
    bool mountRoot = false;
    if (const int error = FileOperations::statEntry(parent.fd.get(), result.name.constData(), st, mountRoot)) {
        if (error == ENOENT) return gone();
        return fail(FileError::system(error, QStringLiteral("Could not ") + movedInAction(path)));
    }
    if (seen && !seen->matches(FileIdentity::fromStat(st))) {
        return fail(
            refusal(SafeBinErrors::kChangedCode, path, QStringLiteral("it changed since the scan, so it was left where it is.")));
    }
    if (S_ISSOCK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return fail(refusal(SafeBinErrors::kSpecialFileCode, path,
                            QStringLiteral("it is a socket, pipe or device, which is never moved.")));
    }
    if (mountRoot || st.st_dev != parent.device) {
        return fail(refusal(SafeBinErrors::kMountPointCode, path, QStringLiteral("it is a mount point, which is never moved.")));
    }
    const QString kernel =
        parent.kernel.isEmpty() ? QString() : PathRules::appendingPathComponent(parent.kernel, PathCodec::decode(result.name));
    if (!kernel.isEmpty()) {
        if (const std::optional<QString> mount = WalkBoundary(session.mounts(), standard, kernel).firstMountPoint()) {
            return fail(refusal(SafeBinErrors::kMountPointCode, path,
                                QStringLiteral("it holds the mount point ") + FileError::quoted(*mount) +
                                    QStringLiteral(", so nothing was moved.")));
        }
        if (SafeBinFolder::touchesBin(kernel, bin)) {
            return fail(
                refusal(SafeBinErrors::kInvalidPathCode, path, QStringLiteral("it holds or is part of the Safe Bin itself.")));
        }
    }
    result.size = qint64(st.st_blocks) * 512;
    if (S_ISDIR(st.st_mode)) {
        const FileOperations::TreeReport report = FileOperations::inspectTree(parent.fd.get(), result.name, standard, -1, true);
        if (!report.mountPoint.isEmpty()) {
            return fail(refusal(SafeBinErrors::kMountPointCode, path,
                                QStringLiteral("it holds the mount point ") + FileError::quoted(report.mountPoint) +
                                    QStringLiteral(", so nothing was moved.")));
        }
        if (!report.specialFile.isEmpty()) {
            return fail(refusal(SafeBinErrors::kSpecialFileCode, path,
                                QStringLiteral("it holds ") + FileError::quoted(report.specialFile) +
                                    QStringLiteral(", a socket, pipe or device, which is never moved; nothing was moved.")));
        }
        result.size = report.allocatedBytes;
    }
    result.parent.reset(::fcntl(parent.fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!result.parent.valid()) return fail(FileError::system(errno, QStringLiteral("Could not ") + movedInAction(path)));
    result.status = MoveStatus::moved;
    return result;
}

// Moves a checked item in: to toName in toDir (the bin, or a group's
// folder). storedPath is its place below the bin, for the journal. What the
// move notes of its attributes (AttributePolicy::intoStore()) joins held,
// what is kept beside the entry, at below (its name in a group's folder).
void moveChecked(SafeBinSession& session, MemberMove& item, int toDir, const QByteArray& toName, const QString& storedPath,
                 const QUuid& id, SafeBinAttributes::Kept& held, const QByteArray& below = {}) {
    const QString& path = item.path;
    AttributePolicy attributes = AttributePolicy::intoStore();
    auto noted = [&] { return SafeBinAttributes::Kept{attributes.keptBeside(), attributes.gained()}; };
    bool kept = false;
    FileOperations::MoveOptions options;
    options.attributes = &attributes;
    options.beforePlacing = [&](const struct stat&, const struct stat& original) -> std::optional<FileError> {
        if (!noted().empty()) {
            SafeBinAttributes::Kept all = held;
            SafeBinAttributes::add(all, SafeBinAttributes::under(noted(), below));
            if (auto error = SafeBinAttributes::write(session.fd(), session.bin, id, all)) return error;
            kept = true;
        }
        return session.record(SafeBinJournal::identityLine(Journal::copied, id, storedPath, path, original));
    };
    const FileOperations::MoveResult moved = FileOperations::moveAt(item.parent.get(), item.name, toDir, toName, path,
                                                                    SafeBinFolder::itemPath(session.bin, storedPath),
                                                                    movedInAction(path), JsonCoding::uuidText(id), options);
    if (!moved.arrived) {
        if (kept) SafeBinAttributes::write(session.fd(), session.bin, id, held);  // as it was
        item.status = MoveStatus::failed;
        item.error = moved.error.value_or(FileError::system(EIO, QStringLiteral("Could not ") + movedInAction(path)));
        return;
    }
    item.inBin = true;
    if (kept) {
        SafeBinAttributes::add(held, SafeBinAttributes::under(noted(), below));
        item.kept = noted();
    }
    if (moved.copied) item.size = SafeBinMeasure::allocatedSizeAt(toDir, toName);
    if (moved.error) {
        // The copy is in place but part of the original is left: remember
        // what it is, so that a restore can complete into it.
        struct stat now {};
        if (::fstatat(item.parent.get(), item.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == item.st.st_dev && now.st_ino == item.st.st_ino) {
            item.remains = SafeBinMeasure::remainsOf(now);
        }
        item.error = moved.error;
    }
}

// Takes the members of a group that moved in before member `failed` back to
// where they were: members that go together move together or not at all.
void takeBack(SafeBinSession& session, int groupFd, const SafeBinEntry& entry, std::vector<MemberMove>& members, size_t failed) {
    for (size_t m = failed; m-- > 0;) {
        MemberMove& move = members[m];
        if (!move.inBin) continue;
        const SafeBinEntry::Member& member = (*entry.members)[m];
        AttributePolicy attributes = AttributePolicy::backFromStore(move.kept.attributes, move.kept.had);
        FileOperations::MoveOptions options;
        options.attributes = &attributes;
        const FileOperations::MoveResult back =
            FileOperations::moveAt(groupFd, PathCodec::encode(member.storedName), move.parent.get(), move.name,
                                   SafeBinFolder::itemPath(session.bin, entry.storedName + QLatin1Char('/') + member.storedName),
                                   move.path, QStringLiteral("put back ") + FileError::quoted(move.path), {}, options);
        if (back.arrived) move.inBin = false;
    }
}

// An item of this call on its way in: where each of its parts came from.
struct Arrived {
    QString storedPath;  // below the bin
    QString originalPath;
    QString folder;      // as written
    QByteArray name;
    SafeBinAttributes::Kept kept;  // kept beside it, relative to it
};

// Puts back what a call moved in when its record could not be written.
// Returns the stored paths that could not go back.
QStringList putBack(SafeBinSession& session, const std::vector<Arrived>& arrived) {
    QStringList stuck;
    for (auto it = arrived.rbegin(); it != arrived.rend(); ++it) {
        const QStringList parts = it->storedPath.split(QLatin1Char('/'));
        FileDescriptor from(::fcntl(session.fd(), F_DUPFD_CLOEXEC, 0));
        if (parts.size() == 2) from = SafeBinFolder::openStoredFolder(session.fd(), parts.first());
        int openError = 0;
        const FileDescriptor parent = FileOperations::openFolderAsWritten(it->folder, SafeBinFolder::trustedPrefix(), openError);
        AttributePolicy attributes = AttributePolicy::backFromStore(it->kept.attributes, it->kept.had);
        FileOperations::MoveOptions options;
        options.attributes = &attributes;
        const auto back =
            parent.valid() && from.valid()
                ? FileOperations::moveAt(from.get(), PathCodec::encode(parts.last()), parent.get(), it->name,
                                         SafeBinFolder::itemPath(session.bin, it->storedPath), it->originalPath,
                                         QStringLiteral("put back ") + FileError::quoted(it->originalPath), {}, options)
                : FileOperations::MoveResult{};
        if (!back.arrived) stuck.append(it->storedPath);
    }
    return stuck;
}

// Notes in result what became of one member's move.
void noteMove(SafeBinItemResult& result, const QString& path, const MemberMove& move) {
    if (move.status == MoveStatus::gone) result.gone.append(path);
    if (move.status == MoveStatus::moved) result.moved.append(path);
    if (move.error) result.failed.emplace_back(path, *move.error);
}

// The entry a request is to make, as its intent is announced: none for a
// request without members or a group that is refused at once (its members
// then fail in result); no stored name for a single path that is not the
// full path of an item (refused when it comes to move, without an intent).
std::optional<SafeBinEntry> plannedEntry(const SafeBinSession& session, const SafeBinItemRequest& request,
                                         SafeBinItemResult& result) {
    const QUuid id = QUuid::createUuid();
    if (request.members.isEmpty()) return std::nullopt;
    std::optional<SafeBinEntry> planned;
    if (!request.grouped && request.members.size() == 1) {
        const QString& path = request.members.front().path;
        const QString name = PathRules::lastPathComponent(path);
        if (!path.startsWith(QLatin1Char('/')) || !SafeBinFolder::namesAnItem(name)) {
            // Refused by the move itself, without an intent.
            return SafeBinEntry::create(id, path, QString(), name, 0, session.now);
        }
        planned = SafeBinEntry::create(id, path, SafeBinFolder::storedNameFor(id, name), name, 0, session.now);
    } else {
        const QString original =
            request.originalPath.isEmpty() && !request.members.isEmpty() ? request.members.front().path : request.originalPath;
        const QString name = request.name.isEmpty() ? PathRules::lastPathComponent(original) : request.name;
        if (!original.startsWith(QLatin1Char('/')) || !SafeBinFolder::namesAnItem(name) || request.members.isEmpty()) {
            const FileError error =
                refusal(SafeBinErrors::kInvalidPathCode, original, QStringLiteral("it is not the full path of an item."));
            for (const SafeBinItemRequest::Member& member : request.members) result.failed.emplace_back(member.path, error);
            return std::nullopt;
        }
        SafeBinEntry entry = SafeBinEntry::create(id, original, SafeBinFolder::storedNameFor(id, name), name, 0, session.now);
        entry.members.emplace();
        for (qsizetype m = 0; m < request.members.size(); ++m) {
            const QString memberName = PathRules::lastPathComponent(request.members[m].path);
            entry.members->push_back(
                {request.members[m].path, SafeBinFolder::memberStoredNameFor(int(m + 1), memberName), 0, {}});
        }
        planned = std::move(entry);
    }
    planned->runningAt = session.runningMsecs;
    return planned;
}

// Moves a single path's request in as entry (see moveToSafeBin()). True when
// it moved; entry then holds its size, remains and date.
bool moveSingle(SafeBinSession& session, OpenedFolder& sources, const SafeBinItemRequest& request, SafeBinEntry& entry,
                SafeBinItemResult& result, std::vector<Arrived>& arrived) {
    const SafeBinItemRequest::Member& member = request.members.front();
    if (entry.storedName.isEmpty()) {
        result.failed.emplace_back(member.path, refusal(SafeBinErrors::kInvalidPathCode, member.path,
                                                        QStringLiteral("it is not the full path of an item.")));
        return false;
    }
    MemberMove move = checkOneIn(session, sources, member.path, member.seen);
    SafeBinAttributes::Kept held;
    if (move.status == MoveStatus::moved) {
        moveChecked(session, move, session.fd(), PathCodec::encode(entry.storedName), entry.storedName, entry.id, held);
    }
    noteMove(result, member.path, move);
    if (move.status != MoveStatus::moved) return false;
    entry.size = move.size;
    entry.remains = move.remains;
    entry.removedAt = session.now;
    arrived.push_back({entry.storedName, entry.originalPath, move.folder, move.name, std::move(move.kept)});
    return true;
}

// Moves a grouped request in as entry, one folder of members: each member
// checked first, then moved on its own, or, for members that go together,
// all of them only when every one can (those moved are taken back when one
// fails). True when any member moved; entry then holds those members, its
// size and its date.
bool moveGroup(SafeBinSession& session, OpenedFolder& sources, const SafeBinItemRequest& request, SafeBinEntry& entry,
               SafeBinItemResult& result, std::vector<Arrived>& arrived) {
    const int binFd = session.fd();
    const QByteArray stored = PathCodec::encode(entry.storedName);
    if (::mkdirat(binFd, stored.constData(), 0700) != 0) {
        const FileError error = FileError::system(errno, QStringLiteral("Could not ") + movedInAction(entry.originalPath));
        for (const SafeBinItemRequest::Member& member : request.members) result.failed.emplace_back(member.path, error);
        return false;
    }
    const FileDescriptor group = SafeBinFolder::openStoredFolder(binFd, entry.storedName);
    std::vector<SafeBinEntry::Member> kept;
    SafeBinAttributes::Kept held;
    // Each member checked first; members that go together move
    // only when every one of them can.
    std::vector<MemberMove> checked;
    for (qsizetype m = 0; m < request.members.size() && group.valid(); ++m) {
        checked.push_back(checkOneIn(session, sources, request.members[m].path, request.members[m].seen));
        if (!request.together) {
            SafeBinEntry::Member member = (*entry.members)[size_t(m)];
            MemberMove& move = checked.back();
            const QString storedPath = entry.storedName + QLatin1Char('/') + member.storedName;
            if (move.status == MoveStatus::moved) {
                moveChecked(session, move, group.get(), PathCodec::encode(member.storedName), storedPath, entry.id, held,
                            PathCodec::encode(member.storedName));
            }
            move.parent.reset();  // a large folder's entries never hold a descriptor each
        }
    }
    const auto blocking =
        std::find_if(checked.begin(), checked.end(), [](const MemberMove& move) { return move.status == MoveStatus::failed; });
    if (request.together && blocking == checked.end()) {
        for (size_t m = 0; m < checked.size(); ++m) {
            MemberMove& move = checked[m];
            if (move.status != MoveStatus::moved) continue;
            const SafeBinEntry::Member& member = (*entry.members)[m];
            moveChecked(session, move, group.get(), PathCodec::encode(member.storedName),
                        entry.storedName + QLatin1Char('/') + member.storedName, entry.id, held,
                        PathCodec::encode(member.storedName));
            if (move.status == MoveStatus::failed) {
                takeBack(session, group.get(), entry, checked, m);
                break;
            }
        }
    }
    const auto failed =
        std::find_if(checked.begin(), checked.end(), [](const MemberMove& move) { return move.status == MoveStatus::failed; });
    for (size_t m = 0; m < checked.size(); ++m) {
        MemberMove& move = checked[m];
        if (request.together && failed != checked.end() && move.status == MoveStatus::moved && !move.inBin) {
            // Ready, or moved and taken back: it stays with the one that could not move.
            move.status = MoveStatus::failed;
            move.error = refusal(
                failed->error->domain == FileError::kTarnwickDomain ? failed->error->code : SafeBinErrors::kInvalidPathCode,
                move.path,
                QStringLiteral("it goes together with ") + FileError::quoted(failed->path) +
                    QStringLiteral(", which could not move, so it stayed too."));
        }
        noteMove(result, move.path, move);
        if (move.status != MoveStatus::moved) continue;
        SafeBinEntry::Member member = (*entry.members)[m];
        member.size = move.size;
        member.remains = move.remains;
        kept.push_back(member);
        arrived.push_back({entry.storedName + QLatin1Char('/') + member.storedName, member.originalPath, move.folder, move.name,
                           std::move(move.kept)});
    }
    if (kept.empty()) {
        ::unlinkat(binFd, stored.constData(), AT_REMOVEDIR);
        SafeBinAttributes::remove(binFd, entry.id);
        return false;
    }
    entry.size = SafeBinMeasure::sizeOfMembers(kept);
    entry.members = std::move(kept);
    entry.removedAt = session.now;
    return true;
}

}  // namespace

std::vector<SafeBinItemResult> moveItems(const std::vector<SafeBinItemRequest>& requests, std::optional<FileError>* callError) {
    std::vector<SafeBinItemResult> results(requests.size());
    auto failAll = [&](size_t from, const FileError& error) {
        for (size_t r = from; r < requests.size(); ++r) {
            for (const SafeBinItemRequest::Member& member : requests[r].members) results[r].failed.emplace_back(member.path, error);
        }
        if (callError) *callError = error;
    };
    SafeBinSession session;
    SafeBinUpkeep::Prepared prepared = SafeBinUpkeep::prepare(session, SafeBinPurge::kExpiryDays, false, true);
    if (prepared.error) {
        failAll(0, *prepared.error);
        return results;
    }
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    const bool sortedAsRead = !prepared.decoded || SafeBinManifest::isNewestFirst(entries);
    SafeBinManifest::sortNewestFirst(entries);
    const QString& bin = session.bin;
    const int binFd = session.fd();

    std::vector<SafeBinEntry> made;  // in the order of the requests
    std::vector<Arrived> arrived;
    OpenedFolder sources;
    size_t next = 0;
    while (next < requests.size()) {
        // Announce a batch of items, then move them one by one.
        const size_t first = next;
        std::vector<std::optional<SafeBinEntry>> skeletons;
        QByteArray lines;
        qsizetype members = 0;
        for (; next < requests.size() && (members == 0 || members < kIntentBatch); ++next) {
            const SafeBinItemRequest& request = requests[next];
            members += std::max<qsizetype>(1, request.members.size());
            skeletons.push_back(plannedEntry(session, request, results[next]));
            const std::optional<SafeBinEntry>& planned = skeletons.back();
            if (planned && !planned->storedName.isEmpty()) lines += SafeBinJournal::entryLine(Journal::move, *planned);
        }
        if (auto error = session.record(lines)) {
            failAll(first, *error);
            break;
        }
        for (size_t r = first; r < next; ++r) {
            std::optional<SafeBinEntry>& skeleton = skeletons[r - first];
            if (!skeleton) continue;
            SafeBinEntry entry = *skeleton;
            const bool moved = entry.members ? moveGroup(session, sources, requests[r], entry, results[r], arrived)
                                             : moveSingle(session, sources, requests[r], entry, results[r], arrived);
            if (!moved) continue;
            results[r].entry = entry;
            made.push_back(entry);
        }
    }
    if (made.empty() && !prepared.changed) {
        session.clearJournal();
        return results;
    }

    // In the usual case the entries read are all kept in their order: the
    // file as read follows the new entries.
    const bool onlyAdded = !prepared.decoded || (!prepared.changed && sortedAsRead && !prepared.text.isEmpty());
    std::optional<FileError> saveError;
    if (onlyAdded) {
        saveError = SafeBinUpkeep::commitText(session, SafeBinManifest::prependedManifest(prepared.text, made));
    } else {
        // This call's entries in reverse order, ahead of the others.
        std::vector<SafeBinEntry> all(made.rbegin(), made.rend());
        all.insert(all.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
        saveError = SafeBinUpkeep::commit(session, all);
    }
    if (!saveError || made.empty()) return results;

    // Unrecorded items would sit in the folder for ever: put them back.
    const QStringList stuck = putBack(session, arrived);
    // Items that could not go back keep their intents: the next change adopts them.
    if (stuck.isEmpty()) {
        session.clearJournal();
        for (const SafeBinEntry& entry : made) {
            if (entry.members) ::unlinkat(binFd, PathCodec::encode(entry.storedName).constData(), AT_REMOVEDIR);
            SafeBinAttributes::remove(binFd, entry.id);
        }
    }
    saveError->description += stuck.isEmpty()
                                  ? QStringLiteral(" The items were put back where they were.")
                                  : QStringLiteral(" Some items could not be put back and remain in the Safe Bin folder ") +
                                        FileError::quoted(bin) + QLatin1Char('.');
    for (SafeBinItemResult& result : results) {
        if (!result.entry) continue;
        const SafeBinEntry& entry = *result.entry;
        const bool held = std::any_of(stuck.begin(), stuck.end(), [&](const QString& path) {
            return path == entry.storedName || path.startsWith(entry.storedName + QLatin1Char('/'));
        });
        if (!held) result.entry.reset();
        for (const QString& path : std::as_const(result.moved)) result.failed.emplace_back(path, *saveError);
        if (!held) result.moved.clear();
    }
    if (callError) *callError = saveError;
    return results;
}

SafeBinMoveResult moveToSafeBin(const QStringList& paths) {
    std::vector<SafeBinItemRequest> requests;
    requests.reserve(size_t(paths.size()));
    for (const QString& path : paths) {
        SafeBinItemRequest request;
        request.members.append(SafeBinItemRequest::Member{path});
        requests.push_back(std::move(request));
    }
    std::optional<FileError> callError;
    const std::vector<SafeBinItemResult> results = moveItems(requests, &callError);
    SafeBinMoveResult result;
    std::vector<FileError> errors;
    for (const SafeBinItemResult& item : results) {
        if (item.entry) result.moved.push_back(*item.entry);
        for (const auto& [path, error] : item.failed) {
            errors.push_back(error);
            if (!item.entry && FileOperations::probe(path) != ENOENT && !result.stayed.contains(path)) result.stayed.append(path);
        }
    }
    if (callError) {
        result.error = callError;
    } else if (!errors.empty()) {
        result.error = combined(errors);
    }
    return result;
}

}  // namespace tarnwick::SafeBinIntake
