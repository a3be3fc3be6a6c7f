#include "services/scan/SpaceReconciler.h"

#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/statvfs.h>

using namespace tarnwick;
using APFSAccounting::ListingSource;

namespace {

// The start-up volume's name; the walked folder keeps its own ("Data" for a
// walk of /System/Volumes/Data, "/" for a walk of the root).
const QString kRootName = QStringLiteral("Work Disk");
const QString kDataName = QStringLiteral("Data");
const QString kHiddenName = QStringLiteral("(hidden / restricted space)");
const QString kPurgeableName = QStringLiteral("(purgeable / snapshots / other)");

QByteArray recordedListing() {
    QFile file(test::dataPath(QStringLiteral("apfs-list-two-containers.plist")));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

ListingSource fixed(std::optional<QByteArray> document) {
    return [document] { return document; };
}

// One container holding the given volume entries (XML fragments).
QByteArray listing(const QString& volumes, const QString& containerKeys = {}) {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Containers</key>"
               "<array><dict>%1<key>Volumes</key><array>%2</array></dict></array></dict></plist>")
        .arg(containerKeys, volumes)
        .toUtf8();
}

QString volume(const QString& role, qint64 inUse, const QString& name = {}) {
    QString out = QStringLiteral("<dict><key>CapacityInUse</key><integer>%1</integer>").arg(inUse);
    if (!role.isEmpty()) out += QStringLiteral("<key>Roles</key><array><string>%1</string></array>").arg(role);
    if (!name.isEmpty()) out += QStringLiteral("<key>Name</key><string>%1</string>").arg(name);
    return out + QStringLiteral("</dict>");
}

QString inUseByVolumes(qint64 bytes) {
    return QStringLiteral("<key>CapacityInUseByVolumes</key><integer>%1</integer>").arg(bytes);
}

ScanNodePtr node(const QString& name, const QString& path, NodeKind kind, qint64 size,
                 std::vector<ScanNodePtr> children = {}) {
    return ScanNode::create(QUuid::createUuid(), name, path, kind, size, std::move(children));
}

// A finalized walk of the Data volume totalling 150 GB.
ScanNodePtr walkedData(const QString& path = QStringLiteral("/System/Volumes/Data")) {
    auto users = node(QStringLiteral("Users"), path + QStringLiteral("/Users"), NodeKind::dir, 0,
                      {node(QStringLiteral("big.bin"), path + QStringLiteral("/Users/big.bin"), NodeKind::file,
                            100'000'000'000)});
    auto apps = node(QStringLiteral("Applications"), path + QStringLiteral("/Applications"), NodeKind::file,
                     50'000'000'000);
    auto locked = node(QStringLiteral("private"), path + QStringLiteral("/private"), NodeKind::restricted, 0);
    auto root = node(QStringLiteral("Data"), path, NodeKind::dir, 0, {users, apps, locked});
    root->finalize(0.008);
    return root;
}

ScanNodePtr smallWalk(qint64 size, const QString& path = QStringLiteral("/System/Volumes/Data")) {
    auto root = node(path == QLatin1String("/") ? path : path.section('/', -1), path, NodeKind::dir, 0,
                     {node(QStringLiteral("f"), path + QStringLiteral("/f"), NodeKind::file, size)});
    root->finalize(0.008);
    return root;
}

QStringList names(const ScanNodePtr& parent) {
    QStringList out;
    for (const auto& child : parent->children) out << child->name;
    return out;
}

const ScanNodePtr* childNamed(const ScanNodePtr& parent, const QString& name) {
    for (const auto& child : parent->children) {
        if (child->name == name) return &child;
    }
    return nullptr;
}

// The result without any listing: the root holds only the Data volume node.
void expectOnlyDataVolume(const ScanNodePtr& result, const ScanNodePtr& walked, qint64 walkedSize) {
    ASSERT_TRUE(result);
    EXPECT_EQ(result->name, kRootName);
    EXPECT_EQ(result->path(), QStringLiteral("/"));
    ASSERT_EQ(result->children.size(), 1u);
    const ScanNodePtr& data = result->children.front();
    EXPECT_EQ(data->name, walked->name);
    EXPECT_EQ(data->path(), walked->path());
    EXPECT_EQ(data->size, walkedSize);
    EXPECT_EQ(result->size, walkedSize);
    EXPECT_EQ(data->parent(), result);
    EXPECT_EQ(names(data), names(walked));
}

}  // namespace

TEST(APFSAccounting, ReadsTheBootContainerOfARecordedListingAndCountsOddIntegersAsZero) {
    const ListingSource source = fixed(recordedListing());

    const std::vector<APFSRoleVolume> roles = APFSAccounting::siblingRoleVolumes(source);
    ASSERT_EQ(roles.size(), 5u);  // Data and the empty Update volume are not role volumes
    EXPECT_EQ(roles[0], (APFSRoleVolume{"A1B2C3D4-0000-4000-8000-000000000001", "Computer System", "System", "/",
                                        11'000'000'000}));
    // An empty "Roles" falls back to "Role"; an upper-case role matches its row and keeps its case.
    EXPECT_EQ(roles[1].mountPoint, "/System/Volumes/Preboot");
    EXPECT_EQ(roles[3].mountPoint, "/System/Volumes/VM");
    // No role, no UUID: named and identified by its name, no mount point.
    EXPECT_EQ(roles[4], (APFSRoleVolume{"Backups", "Backups", QString(), std::nullopt, 10}));

    EXPECT_EQ(APFSAccounting::dataVolumeConsumedBytes(source), 200'000'000'000);
    EXPECT_EQ(APFSAccounting::bootContainerBytesInUse(source), 230'000'000'000);

    // Text and absent sizes count as 0; a real number is truncated.
    const QByteArray odd = listing(
        QStringLiteral("<dict><key>Roles</key><array><string>Data</string></array>"
                       "<key>CapacityInUse</key><string>12</string></dict>"
                       "<dict><key>Roles</key><array><string>Preboot</string></array>"
                       "<key>CapacityInUse</key><real>5.9</real></dict>"
                       "<dict><key>Roles</key><array><string>Recovery</string></array></dict>"),
        QStringLiteral("<key>CapacityInUseByVolumes</key><true/>"));
    EXPECT_EQ(APFSAccounting::dataVolumeConsumedBytes(fixed(odd)), 0);
    EXPECT_EQ(APFSAccounting::bootContainerBytesInUse(fixed(odd)), 0);
    const auto oddRoles = APFSAccounting::siblingRoleVolumes(fixed(odd));
    ASSERT_EQ(oddRoles.size(), 1u);
    EXPECT_EQ(oddRoles[0].consumedBytes, 5);
    // A "Roles" array holding anything but text is ignored in favour of "Role".
    const QByteArray mixedRoles = listing(QStringLiteral(
        "<dict><key>Roles</key><array><string>Data</string><integer>1</integer></array>"
        "<key>Role</key><string>Update</string><key>CapacityInUse</key><integer>7</integer></dict>"));
    const auto mixed = APFSAccounting::siblingRoleVolumes(fixed(mixedRoles));
    ASSERT_EQ(mixed.size(), 1u);
    EXPECT_EQ(mixed[0].name, QStringLiteral("Update"));
    EXPECT_EQ(APFSAccounting::dataVolumeConsumedBytes(fixed(mixedRoles)), std::nullopt);
}

TEST(APFSAccounting, ListingsWithoutABootContainerAnswerNothing) {
    const std::vector<std::optional<QByteArray>> documents = {
        std::nullopt, QByteArray(), QByteArray("not a property list"),
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"),
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"),
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Containers</key><array/></dict></plist>"),
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Containers</key>"
                   "<array><dict/><string>x</string></array></dict></plist>"),
    };
    for (const auto& document : documents) {
        SCOPED_TRACE(document.value_or("(none)").toStdString());
        EXPECT_TRUE(APFSAccounting::siblingRoleVolumes(fixed(document)).empty());
        EXPECT_EQ(APFSAccounting::dataVolumeConsumedBytes(fixed(document)), std::nullopt);
        EXPECT_EQ(APFSAccounting::bootContainerBytesInUse(fixed(document)), std::nullopt);
    }
    EXPECT_TRUE(APFSAccounting::siblingRoleVolumes(ListingSource()).empty());

    // Without a System or Data volume the first container is used: its role
    // volumes appear, but there is no Data consumption.
    const QByteArray noBoot = QStringLiteral(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Containers</key><array>"
        "<dict><key>CapacityInUseByVolumes</key><integer>99</integer><key>Volumes</key><array>%1</array></dict>"
        "<dict><key>Volumes</key><array>%2</array></dict></array></dict></plist>")
                                  .arg(volume(QStringLiteral("Preboot"), 40), volume(QStringLiteral("Recovery"), 50))
                                  .toUtf8();
    const auto roles = APFSAccounting::siblingRoleVolumes(fixed(noBoot));
    ASSERT_EQ(roles.size(), 1u);
    EXPECT_EQ(roles[0].name, QStringLiteral("Preboot"));
    EXPECT_EQ(APFSAccounting::dataVolumeConsumedBytes(fixed(noBoot)), std::nullopt);
    EXPECT_EQ(APFSAccounting::bootContainerBytesInUse(fixed(noBoot)), 99);
}

TEST(SpaceReconciler, WrapsTheWalkWithRoleVolumesHiddenAndPurgeableSpace) {
    const ScanNodePtr walked = walkedData();
    const QUuid walkedId = walked->id;
    int listings = 0;  // the disk tool runs once per reconciliation
    const ListingSource counted = [&listings] {
        ++listings;
        return std::optional<QByteArray>(recordedListing());
    };
    const ScanNodePtr root = SpaceReconciler::enrichMacintoshHD(walked, kRootName, counted);
    ASSERT_TRUE(root);
    EXPECT_EQ(listings, 1);

    EXPECT_EQ(names(root), (QStringList{kDataName, QStringLiteral("Computer System"), kPurgeableName,
                                        QStringLiteral("Preboot"), QStringLiteral("Recovery"),
                                        QStringLiteral("Virtual Memory"), QStringLiteral("Backups")}));
    EXPECT_EQ(root->size, 230'000'000'000);  // the container's in-use bytes, once purgeable space is added
    for (const auto& child : root->children) EXPECT_NE(child->id, walkedId);

    const ScanNodePtr& data = root->children[0];
    EXPECT_EQ(data->path(), QStringLiteral("/System/Volumes/Data"));
    EXPECT_EQ(data->size, 200'000'000'000);
    // The hidden node ties with Applications and, appended last, stays behind it.
    EXPECT_EQ(names(data), (QStringList{QStringLiteral("Users"), QStringLiteral("Applications"), kHiddenName,
                                        QStringLiteral("private")}));
    const ScanNodePtr& hidden = data->children[2];
    EXPECT_EQ(hidden->size, 50'000'000'000);
    EXPECT_EQ(hidden->path(), QStringLiteral("/System/Volumes/Data/.hidden"));
    EXPECT_EQ(hidden->parent(), data);

    // Role volumes and purgeable space are shown but can never be collected.
    const std::vector<std::pair<QString, qint64>> expected = {
        {QStringLiteral("/"), 11'000'000'000}, {QStringLiteral("apfs://other"), 10'999'999'990},
        {QStringLiteral("/System/Volumes/Preboot"), -1}, {QStringLiteral("/System/Volumes/Recovery"), -1},
        {QStringLiteral("/System/Volumes/VM"), -1}, {QStringLiteral("apfs://"), 10}};
    for (size_t i = 0; i < expected.size(); ++i) {
        const ScanNodePtr& volume = root->children[i + 1];
        SCOPED_TRACE(volume->name.toStdString());
        EXPECT_EQ(volume->kind, NodeKind::virtual_);
        EXPECT_EQ(volume->path(), expected[i].first);
        if (expected[i].second >= 0) {
            EXPECT_EQ(volume->size, expected[i].second);
        }
        EXPECT_FALSE(volume->isCollectable());
    }
    EXPECT_FALSE(hidden->isCollectable());
}

TEST(SpaceReconciler, WithoutAUsableListingOnlyTheDataVolumeIsWrapped) {
    for (const auto& document : {std::optional<QByteArray>(), std::optional<QByteArray>("garbage"),
                                 std::optional<QByteArray>(listing({}))}) {
        const ScanNodePtr walked = walkedData();
        const ScanNodePtr root = SpaceReconciler::enrichMacintoshHD(walked, kRootName, fixed(document));
        expectOnlyDataVolume(root, walked, 150'000'000'000);
    }
    EXPECT_FALSE(SpaceReconciler::enrichMacintoshHD(nullptr, kRootName, fixed(recordedListing())));

    // Role volumes but no Data volume and no in-use figure: no hidden or purgeable node.
    const ScanNodePtr walked = smallWalk(1000);
    const ScanNodePtr root = SpaceReconciler::enrichMacintoshHD(
        walked, kRootName, fixed(listing(volume(QStringLiteral("System"), 500'000'000'000))));
    EXPECT_EQ(names(root), (QStringList{QStringLiteral("Computer System"), kDataName}));
    EXPECT_EQ(root->children[1]->children.size(), 1u);
    EXPECT_EQ(root->size, 500'000'001'000);
}

TEST(SpaceReconciler, HiddenAndPurgeableSpaceAppearOnlyBeyondTheirThresholds) {
    const qint64 walkedSize = 1'000'000;
    auto withData = [&](qint64 dataInUse) {
        return SpaceReconciler::enrichMacintoshHD(smallWalk(walkedSize), kRootName,
                                                  fixed(listing(volume(QStringLiteral("Data"), dataInUse))));
    };
    auto hiddenIn = [](const ScanNodePtr& root) { return childNamed(root->children.front(), kHiddenName); };
    EXPECT_FALSE(hiddenIn(withData(walkedSize + 50'000'000)));
    EXPECT_FALSE(hiddenIn(withData(walkedSize - 1)));
    EXPECT_FALSE(hiddenIn(withData(std::numeric_limits<qint64>::min())));
    const ScanNodePtr root = withData(walkedSize + 50'000'001);
    const auto* hidden = hiddenIn(root);
    ASSERT_TRUE(hidden);
    EXPECT_EQ((*hidden)->size, 50'000'001);
    EXPECT_EQ((*hidden)->parent()->size, walkedSize + 50'000'001);
    EXPECT_EQ(root->size, walkedSize + 50'000'001);
    // A walk of the root gets a single slash in the hidden path.
    const ScanNodePtr slash = SpaceReconciler::enrichMacintoshHD(
        smallWalk(10, QStringLiteral("/")), kRootName, fixed(listing(volume(QStringLiteral("Data"), 60'000'000))));
    ASSERT_TRUE(hiddenIn(slash));
    EXPECT_EQ((*hiddenIn(slash))->path(), QStringLiteral("/.hidden"));

    // Root: Data (1 MB) and System (2 MB).
    const qint64 rootSize = walkedSize + 2'000'000;
    auto withInUse = [&](qint64 inUse) {
        return SpaceReconciler::enrichMacintoshHD(
            smallWalk(walkedSize), kRootName,
            fixed(listing(volume(QStringLiteral("System"), 2'000'000) + volume(QStringLiteral("Data"), walkedSize),
                          inUseByVolumes(inUse))));
    };
    for (qint64 inUse : {rootSize + 100'000'000, qint64(0), std::numeric_limits<qint64>::min()}) {
        const ScanNodePtr unchanged = withInUse(inUse);
        EXPECT_FALSE(childNamed(unchanged, kPurgeableName));
        EXPECT_EQ(unchanged->size, rootSize);
        EXPECT_EQ(unchanged->children.size(), 2u);
    }
    const ScanNodePtr full = withInUse(rootSize + 100'000'001);
    ASSERT_EQ(full->children.size(), 3u);
    const ScanNodePtr& purgeable = full->children.front();  // the largest child
    EXPECT_EQ(purgeable->name, kPurgeableName);
    EXPECT_EQ(purgeable->size, 100'000'001);
    EXPECT_EQ(full->size, rootSize + 100'000'001);
}

TEST(SpaceReconciler, RunsTheDiskToolAndBelievesOnlyAToolThatEnded) {
    test::FakeEnvironment env;
    const QString listingFile = test::writeFile(env.path(QStringLiteral("listing.plist")), recordedListing());
    const QString tool = env.path(QStringLiteral("diskutil"));
    // The fake tool prints the listing only for the exact arguments, and noise on standard error.
    test::writeFile(tool, QStringLiteral("#!/bin/sh\necho noise >&2\n"
                                         "[ \"$#\" = 3 ] && [ \"$1\" = apfs ] && [ \"$2\" = list ] && "
                                         "[ \"$3\" = -plist ] && exec cat '%1'\nexit 2\n")
                              .arg(listingFile)
                              .toUtf8());
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.environment().toolPaths.insert(QStringLiteral("/usr/sbin/diskutil"), tool);
    env.apply();

    EXPECT_EQ(APFSAccounting::diskToolListing(), recordedListing());
    ScanNodePtr root = SpaceReconciler::enrichMacintoshHD(walkedData(), kRootName);
    EXPECT_EQ(root->children.size(), 7u);
    EXPECT_EQ(root->size, 230'000'000'000);

    // A failing tool's output is still parsed (here nothing usable); a tool that prints a full
    // listing but is then killed is not believed; a tool that cannot be started gives nothing.
    const std::vector<std::pair<QByteArray, bool>> failures = {
        {"#!/bin/sh\necho 'half a <plist'\nexit 1\n", true},
        {QStringLiteral("#!/bin/sh\ncat '%1'\nkill -KILL $$\n").arg(listingFile).toUtf8(), true},
        {"#!/bin/sh\ncat /dev/null\n", false}};
    for (const auto& [script, executable] : failures) {
        SCOPED_TRACE(script.toStdString());
        test::writeFile(tool, script);
        if (!executable) QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner);
        if (script.contains("kill") || !executable) {
            EXPECT_EQ(APFSAccounting::diskToolListing(), std::nullopt);
        }
        const ScanNodePtr walked = walkedData();
        expectOnlyDataVolume(SpaceReconciler::enrichMacintoshHD(walked, kRootName), walked, 150'000'000'000);
    }
}

TEST(SpaceReconciler, WithoutTheDiskToolTheFileSystemFiguresShowTheUnseenSpace) {
    test::FakeEnvironment env;  // its root holds no disk tool
    ASSERT_FALSE(QFileInfo::exists(Environment::current().toolPath(QStringLiteral("/usr/sbin/diskutil"))));

    struct statvfs info {};
    ASSERT_EQ(::statvfs("/", &info), 0);
    const qint64 used = static_cast<qint64>((info.f_blocks - info.f_bfree) * info.f_frsize);
    if (used <= 60'000'000) GTEST_SKIP() << "the root file system holds too little to show hidden space";

    const ScanNodePtr walked = smallWalk(5'000'000, QStringLiteral("/"));
    const ScanNodePtr root = SpaceReconciler::enrichMacintoshHD(walked, kRootName);
    ASSERT_EQ(root->children.size(), 1u);  // no role volumes, no purgeable space
    const ScanNodePtr& data = root->children.front();
    const auto* hidden = childNamed(data, kHiddenName);
    ASSERT_TRUE(hidden);
    EXPECT_FALSE((*hidden)->isCollectable());
    // Other programs write while the test runs; the figure stays close to the used blocks.
    EXPECT_NEAR(static_cast<double>(data->size), static_cast<double>(used), 1e9);
    EXPECT_EQ(data->size, (*hidden)->size + 5'000'000);
    EXPECT_EQ(root->size, data->size);

    // The made-up listing: one container, one Data volume, the figures of the file system.
    const auto document = APFSAccounting::fileSystemListing(QStringLiteral("/"));
    ASSERT_TRUE(document);
    const ListingSource source = fixed(document);
    EXPECT_TRUE(APFSAccounting::siblingRoleVolumes(source).empty());
    EXPECT_NEAR(static_cast<double>(*APFSAccounting::dataVolumeConsumedBytes(source)), static_cast<double>(used), 1e9);
    EXPECT_EQ(APFSAccounting::bootContainerBytesInUse(source), APFSAccounting::dataVolumeConsumedBytes(source));

    // A walk that found more than the file system reports gets no hidden node;
    // an unreadable path gives no listing.
    const ScanNodePtr large = smallWalk(used + 1'000'000'000'000, QStringLiteral("/"));
    EXPECT_EQ(SpaceReconciler::enrichMacintoshHD(large, kRootName)->children.front()->children.size(), 1u);
    EXPECT_EQ(APFSAccounting::fileSystemListing(env.path(QStringLiteral("missing/folder"))), std::nullopt);
}
