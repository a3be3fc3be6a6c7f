#include "services/scan/VolumesService.h"

#include "platform/Environment.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

#include <sys/statvfs.h>

namespace tarnwick::VolumesService {

namespace {

const QString kDataVolumePath = QStringLiteral("/System/Volumes/Data");
const QString kUnnamedStartupVolume = QStringLiteral("Computer");
const QString kSystemVolumesPrefix = QStringLiteral("/System/Volumes/");

// File systems that hold no user data: kernel interfaces, memory-backed
// scratch space, container layers and read-only package images.
const QSet<QString>& hiddenFileSystemTypes() {
    static const QSet<QString> types = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),       QStringLiteral("tmpfs"),
        QStringLiteral("devtmpfs"),    QStringLiteral("devpts"),      QStringLiteral("devfs"),
        QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),     QStringLiteral("overlay"),
        QStringLiteral("squashfs"),    QStringLiteral("autofs"),      QStringLiteral("mqueue"),
        QStringLiteral("debugfs"),     QStringLiteral("tracefs"),     QStringLiteral("securityfs"),
        QStringLiteral("pstore"),      QStringLiteral("bpf"),         QStringLiteral("configfs"),
        QStringLiteral("fusectl"),     QStringLiteral("hugetlbfs"),   QStringLiteral("binfmt_misc"),
        QStringLiteral("nsfs"),        QStringLiteral("ramfs"),       QStringLiteral("efivarfs"),
        QStringLiteral("rpc_pipefs"),  QStringLiteral("nfsd"),        QStringLiteral("selinuxfs"),
        QStringLiteral("rootfs"),      QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"), QStringLiteral("fuse.lxcfs"),  QStringLiteral("fuse.snapfuse"),
    };
    return types;
}

bool isBelowAny(const QString& path, std::initializer_list<const char*> folders) {
    for (const char* folder : folders) {
        if (PathRules::isSameOrBelow(path, QString::fromLatin1(folder))) return true;
    }
    return false;
}

// Free space by the platform's preference: room for important data when
// known and above 0, else the plain available space, else 0.
qint64 freeBytesOf(const MountRecord& mount) {
    if (mount.importantAvailableBytes && *mount.importantAvailableBytes > 0) return *mount.importantAvailableBytes;
    if (mount.availableBytes) return std::max<qint64>(*mount.availableBytes, 0);
    return 0;
}

// Block counts in bytes, held at the 64-bit range's end rather than wrapping.
qint64 bytesOf(fsblkcnt_t blocks, unsigned long blockSize) {
    return Saturating::clamp(static_cast<__int128>(blocks) * blockSize);
}

MountRecord mountFrom(const QStorageInfo& volume) {
    MountRecord mount;
    mount.path = volume.rootPath();
    mount.device = QString::fromLocal8Bit(volume.device());
    mount.fileSystemType = QString::fromLatin1(volume.fileSystemType());
    const QString label = volume.name();
    if (!label.isEmpty()) mount.name = label;
    mount.isRoot = volume.isRoot();
    // No notion of room kept for important data here: what the user can
    // still write is the free figure.
    struct statvfs counts {};
    mount.isReady = volume.isValid() && volume.isReady() &&
                    ::statvfs(PathCodec::encode(mount.path).constData(), &counts) == 0;
    if (mount.isReady) setFigures(mount, counts);
    return mount;
}

QString nameOf(const MountRecord& mount) {
    const QString trimmed = mount.name ? mount.name->trimmed() : QString();
    return trimmed.isEmpty() ? PathRules::lastPathComponent(mount.path) : trimmed;
}

}  // namespace

bool isHiddenMount(const MountRecord& mount) {
    if (mount.path == QLatin1String("/")) return false;
    if (hiddenFileSystemTypes().contains(mount.fileSystemType.toLower())) return true;
    if (PathRules::isSameOrBelow(mount.path, QStringLiteral("/run/media"))) return false;
    return isBelowAny(mount.path, {"/proc", "/sys", "/dev", "/run", "/snap"});
}

std::vector<MountRecord> mountedVolumes() {
    std::vector<MountRecord> out;
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    out.reserve(volumes.size());
    for (const QStorageInfo& volume : volumes) {
        if (!QFileInfo(volume.rootPath()).isDir()) continue;
        out.push_back(mountFrom(volume));
    }
    return out;
}

void setFigures(MountRecord& mount, const struct statvfs& counts) {
    // Older systems leave the fragment size 0; the block size then counts.
    const unsigned long unit = counts.f_frsize ? counts.f_frsize : counts.f_bsize;
    mount.totalBytes = bytesOf(counts.f_blocks, unit);
    mount.freeBytes = bytesOf(counts.f_bfree, unit);
    mount.availableBytes = bytesOf(counts.f_bavail, unit);
}

QString startupVolumeName(const std::vector<MountRecord>& mounts) {
    // The last mount on "/" is the one in force.
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (!it->isRoot.value_or(it->path == QLatin1String("/"))) continue;
        const QString label = it->name ? it->name->trimmed() : QString();
        if (!label.isEmpty()) return label;
        break;
    }
    return kUnnamedStartupVolume;
}

QString startupVolumeName() {
    return startupVolumeName({mountFrom(QStorageInfo::root())});
}

std::vector<VolumeInfo> listVolumes() {
    return listVolumes(mountedVolumes());
}

std::vector<VolumeInfo> listVolumes(const std::vector<MountRecord>& mounts) {
    const bool hasDataVolume = QFileInfo::exists(Environment::current().systemPath(kDataVolumePath));

    std::vector<VolumeInfo> volumes;
    volumes.reserve(mounts.size());
    for (const MountRecord& mount : mounts) {
        if (isHiddenMount(mount) || !mount.isReady) continue;
        if (!mount.totalBytes || *mount.totalBytes < 1) continue;
        if (mount.path == kDataVolumePath || mount.path.startsWith(kSystemVolumesPrefix)) continue;
        const bool isRoot = mount.isRoot.value_or(mount.path == QLatin1String("/"));
        const QString scanPath = isRoot && hasDataVolume ? kDataVolumePath : mount.path;
        // Used as df counts it: what the free blocks leave of the total.
        std::optional<qint64> used;
        if (mount.freeBytes) used = std::max<qint64>(*mount.totalBytes - *mount.freeBytes, 0);
        VolumeInfo volume{mount.path, nameOf(mount), mount.path, scanPath, *mount.totalBytes, freeBytesOf(mount),
                          isRoot, used};
        // A mount on top of an earlier one at the same path hides it: keep the later.
        std::erase_if(volumes, [&](const VolumeInfo& earlier) { return earlier.id == volume.id; });
        volumes.push_back(std::move(volume));
    }

    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(volumes.begin(), volumes.end(), [&collator](const VolumeInfo& a, const VolumeInfo& b) {
        if (a.isRoot != b.isRoot) return a.isRoot;
        return collator.compare(a.name, b.name) < 0;
    });
    return volumes;
}

}  // namespace tarnwick::VolumesService
