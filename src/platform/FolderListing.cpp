#include "platform/FolderListing.h"

#include "platform/DirectoryNames.h"
#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwick::FolderListing {

QString childPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + name;
    return folder + QLatin1Char('/') + name;
}

std::optional<QList<FileEntry>> list(const QString& folder, Hidden hidden) {
    if (folder.isEmpty()) return std::nullopt;
    FileDescriptor fd(::open(PathCodec::encode(folder).constData(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    DirectoryNames names;
    if (!names.read(fd.get(), hidden == Hidden::include)) return std::nullopt;

    QString base = folder;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/'))) base.chop(1);
    QList<FileEntry> entries;
    entries.reserve(static_cast<qsizetype>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) {
        struct stat st {};
        if (::fstatat(fd.get(), names.name(i), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        FileEntry entry;
        entry.name = PathCodec::decode(names.nameView(i));
        entry.path = childPath(base, entry.name);
        entry.setValues(st);
        entries.append(std::move(entry));
    }
    return entries;
}

}  // namespace tarnwick::FolderListing
