#include "services/scan/VolumesService.h"

#include "platform/Environment.h"
#include "support/PathRules.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace tarnwick::VolumesService {

namespace {

const QString kDataVolumePath = QStringLiteral("/System/Volumes/Data");
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
        MountRecord mount;
        mount.path = volume.rootPath();
        mount.device = QString::fromLocal8Bit(volume.device());
        mount.fileSystemType = QString::fromLatin1(volume.fileSystemType());
        if (!QFileInfo(mount.path).isDir()) continue;
        const QString label = volume.name();
        if (!label.isEmpty()) mount.name = label;
        mount.isReady = volume.isValid() && volume.isReady();
        if (volume.bytesTotal() >= 0) mount.totalBytes = volume.bytesTotal();
        // No notion of room kept for important data here: what the user can
        // still write is the free figure.
        if (volume.bytesAvailable() >= 0) mount.availableBytes = volume.bytesAvailable();
        mount.isRoot = volume.isRoot();
        out.push_back(std::move(mount));
    }
    return out;
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
        VolumeInfo volume{mount.path, nameOf(mount), mount.path, scanPath, *mount.totalBytes, freeBytesOf(mount),
                          isRoot};
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
