#include "services/scan/VolumesService.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <limits>

using namespace tarnwick;

namespace {

MountRecord mount(const QString& path, const QString& type, std::optional<QString> name = std::nullopt,
                  qint64 total = 1'000'000'000, qint64 available = 400'000'000) {
    MountRecord record;
    record.path = path;
    record.device = QStringLiteral("/dev/sdz");
    record.fileSystemType = type;
    record.name = std::move(name);
    record.totalBytes = total;
    record.availableBytes = available;
    record.isRoot = path == QLatin1String("/");
    return record;
}

QStringList paths(const std::vector<VolumeInfo>& volumes) {
    QStringList out;
    for (const auto& volume : volumes) out << volume.path;
    return out;
}

const VolumeInfo* find(const std::vector<VolumeInfo>& volumes, const QString& path) {
    for (const auto& volume : volumes) {
        if (volume.path == path) return &volume;
    }
    return nullptr;
}

}  // namespace

TEST(VolumesService, LeavesOutSystemMountsAndVolumesWithoutFiguresAndHidesStackedMounts) {
    test::FakeEnvironment env;
    MountRecord notReady = mount("/mnt/flaky", "nfs");
    notReady.isReady = false;
    MountRecord noTotal = mount("/mnt/unknown", "ext4");
    noTotal.totalBytes.reset();
    const std::vector<MountRecord> mounts = {
        mount("/", "ext4"), mount("/proc", "proc"), mount("/sys/fs/cgroup", "cgroup2"), mount("/dev/shm", "tmpfs"),
        mount("/tmp", "tmpfs"), mount("/run/user/1000", "TMPFS"), mount("/run/lock", "ext4"),
        mount("/dev/hugepages", "ext4"), mount("/snap/core22/1380", "ext4"),
        mount("/var/lib/docker/overlay2/abc/merged", "overlay"), mount("/System/Volumes/Data", "apfs"),
        mount("/System/Volumes/Preboot", "apfs"), mount("/mnt/empty", "ext4", std::nullopt, 0), notReady, noTotal,
        mount("/run/media/user/USB STICK", "vfat", "USB STICK"), mount("/media/cdrom", "iso9660", "Disc"),
        mount("/home", "btrfs"), mount("/runway", "ext4")};
    EXPECT_EQ(paths(VolumesService::listVolumes(mounts)),
              (QStringList{"/", "/media/cdrom", "/home", "/runway", "/run/media/user/USB STICK"}));

    // The root file system is listed whatever it is made of (a live system's overlay).
    EXPECT_EQ(VolumesService::listVolumes({mount("/", "overlay")}).size(), 1u);

    // A later mount on the same path hides the earlier one: one entry, the later figures.
    const auto stacked = VolumesService::listVolumes({mount("/mnt/x", "ext4", "Under", 10, 1),
                                                      mount("/mnt/x", "ext4", "Over", 20, 2)});
    ASSERT_EQ(stacked.size(), 1u);
    EXPECT_EQ(stacked[0].name, "Over");
    EXPECT_EQ(stacked[0].totalBytes, 20);
}

TEST(VolumesService, NamesMeasuresSortsAndPlacesEachVolume) {
    test::FakeEnvironment env;
    MountRecord important = mount("/mnt/a", "ext4", "  Work \n");
    important.importantAvailableBytes = 700;
    important.availableBytes = 500;
    MountRecord zeroImportant = mount("/mnt/b", "ext4", "B");
    zeroImportant.importantAvailableBytes = 0;
    zeroImportant.availableBytes = 500;
    MountRecord noFree = mount("/mnt/c", "ext4", "C");
    noFree.availableBytes.reset();
    MountRecord rootUnknown = mount("/", "ext4");
    rootUnknown.isRoot.reset();
    const std::vector<MountRecord> mounts = {mount("/mnt/Photos", "ext4", " \n\t "), important, zeroImportant, noFree,
                                             rootUnknown};

    // Without a separate data volume the root is scanned from "/".
    std::vector<VolumeInfo> volumes = VolumesService::listVolumes(mounts);
    ASSERT_EQ(volumes.size(), 5u);
    EXPECT_EQ(volumes[0], (VolumeInfo{"/", "/", "/", "/", 1'000'000'000, 400'000'000, true, std::nullopt}));
    // A blank name falls back to the folder's name; free space prefers the "important" figure when known.
    const std::vector<std::tuple<QString, QString, qint64>> expected = {
        {"/mnt/Photos", "Photos", 400'000'000}, {"/mnt/a", "Work", 700}, {"/mnt/b", "B", 500}, {"/mnt/c", "C", 0}};
    for (const auto& [path, name, free] : expected) {
        SCOPED_TRACE(path.toStdString());
        const VolumeInfo* volume = find(volumes, path);
        ASSERT_TRUE(volume);
        EXPECT_EQ(volume->name, name);
        EXPECT_EQ(volume->freeBytes, free);
        EXPECT_FALSE(volume->isRoot);
        EXPECT_EQ(volume->scanPath, path);
    }
    // With one, the root volume is scanned from it; other volumes are not.
    test::makeDir(env.root() + "/System/Volumes/Data");
    volumes = VolumesService::listVolumes(mounts);
    EXPECT_EQ(volumes[0].scanPath, "/System/Volumes/Data");
    EXPECT_EQ(volumes[0].path, "/");
    EXPECT_EQ(find(volumes, "/mnt/b")->scanPath, "/mnt/b");

    // Root first, then by name ignoring case, ties in the platform's order.
    std::vector<MountRecord> named;
    for (const auto& [path, name] : std::vector<std::pair<QString, QString>>{
             {"/mnt/6", "c"}, {"/mnt/2", "Backup"}, {"/mnt/5", "Beta"}, {"/", "zzz system"},
             {"/mnt/1", "backup"}, {"/mnt/4", "alpha"}, {"/mnt/3", "BACKUP"}}) {
        named.push_back(mount(path, "ext4", name));
    }
    EXPECT_EQ(paths(VolumesService::listVolumes(named)),
              (QStringList{"/", "/mnt/4", "/mnt/2", "/mnt/1", "/mnt/3", "/mnt/5", "/mnt/6"}));
}

TEST(VolumesService, UsedIsTotalLessFreeBlocksAndFreeIsWhatTheUserCanWrite) {
    test::FakeEnvironment env;
    // An ext4 volume of 100 GB in 4 KiB fragments: 63 GB in free blocks, of
    // which 5 GB are kept for the superuser, so 58 GB are available.
    struct statvfs counts {};
    counts.f_bsize = 4096;
    counts.f_frsize = 4096;
    counts.f_blocks = 100'000'000'000 / 4096;
    counts.f_bfree = 63'000'000'000 / 4096;
    counts.f_bavail = 58'000'000'000 / 4096;
    MountRecord record = mount(QStringLiteral("/"), QStringLiteral("ext4"));
    VolumesService::setFigures(record, counts);

    const std::vector<VolumeInfo> volumes = VolumesService::listVolumes({record});
    ASSERT_EQ(volumes.size(), 1u);
    const VolumeInfo& volume = volumes[0];
    // df's "Used": the reserved blocks count as free, not as used.
    EXPECT_EQ(volume.usedBytes, (counts.f_blocks - counts.f_bfree) * 4096);
    EXPECT_EQ(volume.used(), *volume.usedBytes);
    EXPECT_EQ(volume.freeBytes, qint64(counts.f_bavail) * 4096);

    // Fragment size 0 (older file systems): the block size counts. Counts
    // beyond the 64-bit range are held at its end.
    struct statvfs old {};
    old.f_bsize = 512;
    old.f_blocks = 10;
    old.f_bfree = 4;
    old.f_bavail = 3;
    VolumesService::setFigures(record, old);
    EXPECT_EQ(record.freeBytes, 2048);
    struct statvfs huge = counts;
    huge.f_blocks = std::numeric_limits<fsblkcnt_t>::max();
    VolumesService::setFigures(record, huge);
    EXPECT_EQ(record.totalBytes, std::numeric_limits<qint64>::max());

    // Without a free-block figure the used part is what the free figure leaves.
    EXPECT_EQ((VolumeInfo{"/", "/", "/", "/", 1000, 300, true, std::nullopt}).used(), 700);
    EXPECT_EQ((VolumeInfo{"/", "/", "/", "/", 1000, 1300, true, std::nullopt}).used(), 0);

    // This machine's root comes first, with used and free adding up to at
    // most the total, and no system mount is listed.
    const std::vector<VolumeInfo> listed = VolumesService::listVolumes();
    ASSERT_FALSE(listed.empty());
    EXPECT_TRUE(listed[0].isRoot);
    for (const auto& volume : listed) {
        EXPECT_FALSE(volume.path.startsWith(QStringLiteral("/proc")) || volume.path.startsWith(QStringLiteral("/sys")))
            << volume.path.toStdString();
        EXPECT_NE(volume.path, QStringLiteral("/etc/hosts"));  // files bound into place are not volumes
    }
    const std::vector<MountRecord> real = VolumesService::mountedVolumes();
    for (const MountRecord& m : real) {
        if (m.path != QLatin1String("/") || !m.isReady) continue;
        ASSERT_TRUE(m.totalBytes && m.freeBytes && m.availableBytes);
        EXPECT_LE(*m.availableBytes, *m.freeBytes);
        EXPECT_LE(*m.freeBytes, *m.totalBytes);
    }
}

TEST(VolumesService, TheStartupVolumeIsNamedByTheRootFileSystemsLabel) {
    const auto withLabel = [](std::optional<QString> label, std::optional<bool> isRoot = true) {
        MountRecord root = mount(QStringLiteral("/"), QStringLiteral("ext4"), std::move(label));
        root.isRoot = isRoot;
        return root;
    };
    const MountRecord usb = mount(QStringLiteral("/media/usb"), QStringLiteral("vfat"), QStringLiteral("STICK"));
    EXPECT_EQ(VolumesService::startupVolumeName({usb, withLabel(QStringLiteral("  Work Disk \n"))}),
              QStringLiteral("Work Disk"));
    EXPECT_EQ(VolumesService::startupVolumeName({withLabel(std::nullopt), usb}), QStringLiteral("Computer"));
    EXPECT_EQ(VolumesService::startupVolumeName({withLabel(QStringLiteral(" "))}), QStringLiteral("Computer"));
    // Without the root flag, the mount at "/" is the root; of two at "/", the later is in force.
    EXPECT_EQ(VolumesService::startupVolumeName({withLabel(QStringLiteral("Debian"), std::nullopt)}),
              QStringLiteral("Debian"));
    EXPECT_EQ(VolumesService::startupVolumeName({withLabel(QStringLiteral("Under")), withLabel(QStringLiteral("Live"))}),
              QStringLiteral("Live"));
    EXPECT_FALSE(VolumesService::startupVolumeName().isEmpty());
}
