#include "services/safebin/SafeBinRemoval.h"

#include "platform/FileOperations.h"
#include "platform/WalkBoundary.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinAttributes.h"
#include "services/safebin/SafeBinErrors.h"
#include "services/safebin/SafeBinFolder.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <cerrno>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick::SafeBinRemoval {

namespace {

// The mount point at or below the bin's entry name, named as the bin's path.
std::optional<QString> mountInside(SafeBinSession& session, int folderFd, const QString& folderPath, const QString& name) {
    const QString kernel = FileOperations::kernelPath(folderFd);
    if (kernel.isEmpty()) return std::nullopt;
    return WalkBoundary(session.mounts(), PathRules::appendingPathComponent(folderPath, name),
                        PathRules::appendingPathComponent(kernel, name))
        .firstMountPoint();
}

}  // namespace

// Removes a stored item (or anything named in the bin) for good: renamed
// aside first, then removed, so that it is either whole under its name or
// on its way out. An item holding a mount point is left whole; one that
// cannot be removed wholly goes back under its name. The failure is
// returned. Nothing there is no failure.
std::optional<FileError> removeStored(SafeBinSession& session, const QString& storedName, const QUuid& id) {
    const QByteArray name = PathCodec::encode(storedName);
    const QString path = SafeBinFolder::itemPath(session.bin, storedName);
    if (SafeBinFolder::probeAt(session.fd(), name) == ENOENT) return std::nullopt;
    if (const int fault = FileOperations::injectedFault("remove", path)) {
        return FileError::system(fault, QStringLiteral("Could not remove ") + FileError::quoted(path));
    }
    std::optional<QString> mount = mountInside(session, session.fd(), session.bin, storedName);
    if (!mount) {
        const FileOperations::TreeReport report = FileOperations::inspectTree(session.fd(), name, path, -1, true);
        if (!report.mountPoint.isEmpty()) mount = report.mountPoint;
    }
    if (mount) {
        return FileError::tarnwick(SafeBinErrors::kMountPointCode,
                                   FileError::quoted(path) + QStringLiteral(" holds the mount point ") +
                                       FileError::quoted(*mount) +
                                       QStringLiteral(", another file system, so it was left alone."));
    }
    const QByteArray aside = QByteArray(SafeBinFolder::kRemovingPrefix.data(), qsizetype(SafeBinFolder::kRemovingPrefix.size())) +
                             JsonCoding::uuidText(QUuid::createUuid()).toLatin1();
    if (const int error = FileOperations::renameNoReplaceAt(session.fd(), name, session.fd(), aside)) {
        if (error == ENOENT) return std::nullopt;
        return FileError::system(error, QStringLiteral("Could not remove ") + FileError::quoted(path));
    }
    auto error = FileOperations::removeItemAt(session.fd(), aside, path);
    if (error) {
        (void)FileOperations::renameNoReplaceAt(session.fd(), aside, session.fd(), name);
    } else {
        SafeBinAttributes::remove(session.fd(), id);
    }
    return error;
}

// Removes what interrupted work left in the bin folder: partial copies of
// moves that never finished, items on their way out and temporary manifests.
// Only under the lock: no other change is under way then.
void removeLeftovers(const SafeBinSession& session) {
    std::vector<QByteArray> names;
    if (!SafeBinFolder::listNames(session.fd(), names)) return;
    const QByteArray temporaryPrefix = "." + PathCodec::encode(SafeBinFolder::kManifestName) + ".tmp-";
    for (const QByteArray& name : names) {
        const std::string_view text(name.constData(), size_t(name.size()));
        if (text.starts_with(FileOperations::kPartialPrefix) || text.starts_with(SafeBinFolder::kRemovingPrefix) ||
            text.starts_with(std::string_view(temporaryPrefix.constData(), size_t(temporaryPrefix.size())))) {
            FileOperations::removeItemAt(session.fd(), name,
                                         PathRules::appendingPathComponent(session.bin, PathCodec::decode(name)));
        }
    }
    SafeBinAttributes::removeOrphans(session.fd(), names);
}

// The bin's item at a stored path ("<stored>/<member>/…", every part a plain name), removed.
void removeStoredPath(const SafeBinSession& session, const QString& storedPath) {
    const QStringList parts = storedPath.split(QLatin1Char('/'));
    if (parts.isEmpty() || !SafeBinFolder::isPlainStoredName(parts.first())) return;
    for (const QString& part : parts) {
        if (!SafeBinFolder::isPlainName(part)) return;
    }
    FileDescriptor folder(::fcntl(session.fd(), F_DUPFD_CLOEXEC, 0));
    for (qsizetype i = 0; i + 1 < parts.size() && folder.valid(); ++i) {
        folder.reset(::openat(folder.get(), PathCodec::encode(parts[i]).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (folder.valid()) {
        FileOperations::removeItemAt(folder.get(), PathCodec::encode(parts.last()),
                                     SafeBinFolder::itemPath(session.bin, storedPath));
    }
}

}  // namespace tarnwick::SafeBinRemoval
