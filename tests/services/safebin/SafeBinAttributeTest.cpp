#include "services/safebin/SafeBinService.h"

#include "SafeBinTestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include <sys/xattr.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
const QByteArray kOrigin("https://example.org/data.bin");
// A default ACL (the kernel's own form) that gives user 65534 all rights:
// what a folder with it gives every item made in it.
QByteArray defaultAcl() {
    QByteArray value;
    auto put = [&](std::uint32_t word, int bytes) {
        for (int i = 0; i < bytes; ++i) value.append(char((word >> (8 * i)) & 0xff));
    };
    put(2, 4);  // version
    const std::uint32_t undefined = 0xffffffffu;
    for (const auto& [tag, permissions, id] : {std::tuple{0x01u, 7u, undefined}, std::tuple{0x02u, 7u, 65534u},
                                               std::tuple{0x04u, 5u, undefined}, std::tuple{0x10u, 7u, undefined},
                                               std::tuple{0x20u, 5u, undefined}}) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return value;
}

// A value the bin's file system is made to refuse as ext4 refuses 10 KB (the
// test's own file system may not take 10 KB itself).
const QByteArray kLarge(1500, 'n');

class SafeBinAttributeTest : public SafeBinTest {
protected:
    SafeBinAttributeTest() { env.setNow(kNow); }

    static QByteArray attribute(const QString& path, const char* name) {
        QByteArray value(64 * 1024, '\0');
        const ssize_t length = ::lgetxattr(nativePath(path).constData(), name, value.data(), size_t(value.size()));
        return length < 0 ? QByteArray("<none>") : value.left(length);
    }
    static void setAttribute(const QString& path, const char* name, const QByteArray& value) {
        ASSERT_EQ(::lsetxattr(nativePath(path).constData(), name, value.constData(), size_t(value.size()), 0), 0)
            << "this file system keeps no user attributes";
    }
    // A download with its origin, and a folder whose file has a large note.
    void makeItems() {
        setAttribute(writeFile(download, "data"), "user.xdg.origin.url", kOrigin);
        setAttribute(writeFile(folder + "/inner/note.txt", "note"), "user.note", kLarge);
        setAttribute(folder + "/inner", "user.xdg.origin.url", kOrigin);
    }
    void expectAttributes() {
        EXPECT_EQ(contents(download), QByteArray("data"));
        EXPECT_EQ(attribute(download, "user.xdg.origin.url"), kOrigin);
        EXPECT_EQ(attribute(folder + "/inner/note.txt", "user.note"), kLarge);
        EXPECT_EQ(attribute(folder + "/inner", "user.xdg.origin.url"), kOrigin);
    }
    QStringList sideFiles() {
        return binContents(bin()).filter(QStringLiteral(".tarnwick-attributes-"));
    }

    QString download = home("Downloads/data.bin");
    QString folder = home("Projects/kept");
};

// A bin on another file system that keeps no user attributes (ENOTSUP), or
// one that cannot take a large value (ext4 says ENOSPC with room to spare):
// what it cannot hold waits beside the item, comes back on restore, and goes
// with the item when it is deleted for good.
TEST_F(SafeBinAttributeTest, WhatTheBinCannotHoldWaitsBesideTheItemAndComesBack) {
    makeItems();
    FileFault fault([&](std::string_view operation, const QString& path) {
        if (operation == "rename") return EXDEV;
        if (operation != "attribute" || !path.startsWith(bin())) return 0;
        return path.endsWith(":user.note") ? ENOSPC : ENOTSUP;
    });
    const auto moved = SafeBinService::moveToSafeBin({download, folder});
    ASSERT_FALSE(moved.error) << moved.error->description.toStdString();
    ASSERT_EQ(moved.moved.size(), 2u);
    EXPECT_FALSE(QFileInfo::exists(download) || QFileInfo::exists(folder));
    EXPECT_EQ(attribute(held(moved.moved[0]), "user.xdg.origin.url"), QByteArray("<none>"));
    EXPECT_EQ(sideFiles().size(), 2);

    // A settle leaves what its items still need.
    SafeBinService::settle();
    EXPECT_EQ(sideFiles().size(), 2);

    for (const SafeBinEntry& entry : moved.moved) ASSERT_FALSE(SafeBinService::restore(entry));
    expectAttributes();
    EXPECT_TRUE(binContents(bin()) == QStringList{"manifest.json"}) << binContents(bin()).join(' ').toStdString();

    // Deleted for good: the attributes kept for it go too.
    const auto again = SafeBinService::moveToSafeBin({download});
    ASSERT_EQ(again.moved.size(), 1u);
    EXPECT_EQ(sideFiles().size(), 1);
    ASSERT_FALSE(SafeBinService::destroy(again.moved[0]));
    EXPECT_TRUE(sideFiles().isEmpty());
}

// Where the attributes cannot go back either, the restore is refused with
// the true reason and the item stays in the bin with them; nothing is ever
// called a full disk that is not full.
TEST_F(SafeBinAttributeTest, AnAttributeThatCannotGoBackRefusesWithTheTrueReason) {
    makeItems();
    int refusal = ENOTSUP;
    FileFault fault([&](std::string_view operation, const QString& path) {
        if (operation == "rename") return EXDEV;
        if (operation != "attribute") return 0;
        if (path.startsWith(bin())) return path.endsWith(":user.note") ? ENOSPC : ENOTSUP;
        return refusal;
    });
    const auto moved = SafeBinService::moveToSafeBin({download, folder});
    ASSERT_EQ(moved.moved.size(), 2u);
    for (const int error : {ENOTSUP, ENOSPC}) {
        refusal = error;
        const auto failed = SafeBinService::restore(moved.moved[1]);
        ASSERT_TRUE(failed);
        EXPECT_NE(failed->code, ENOSPC);
        EXPECT_FALSE(failed->description.contains(FileError::systemText(ENOSPC))) << failed->description.toStdString();
        EXPECT_TRUE(failed->description.contains("“user.")) << failed->description.toStdString();
        EXPECT_FALSE(QFileInfo::exists(folder));
        EXPECT_EQ(SafeBinService::list().size(), 2u);
        EXPECT_EQ(sideFiles().size(), 2);
    }
    refusal = 0;
    ASSERT_FALSE(SafeBinService::restore(moved.moved[1]));
    ASSERT_FALSE(SafeBinService::restore(moved.moved[0]));
    expectAttributes();

    EXPECT_TRUE(sideFiles().isEmpty());
}

// The bin's folder has a default ACL, so a copy moved in carries an ACL the
// item never had; the place it goes back to keeps no ACLs (another file
// system, a stick): it comes back all the same, without that ACL. An
// attribute the item did have is still required there.
TEST_F(SafeBinAttributeTest, AnAttributeTheItemNeverHadIsNotRequiredOnTheWayBack) {
    const QString photo = writeFile(home("Pictures/photo.jpg"), "jpeg");
    const QString album = home("Pictures/album");
    writeFile(album + "/a.jpg", "a");
    makeItems();
    setAttribute(makeDir(bin()), "system.posix_acl_default", defaultAcl());
    bool keepsUser = false;
    FileFault fault([&](std::string_view operation, const QString& path) {
        if (operation == "rename") return EXDEV;
        if (operation != "attribute" || path.startsWith(bin())) return 0;
        return path.contains(":system.") || (!keepsUser && path.contains(":user.")) ? ENOTSUP : 0;
    });
    const auto moved = SafeBinService::moveToSafeBin({photo, album, download});
    ASSERT_FALSE(moved.error) << moved.error->description.toStdString();
    ASSERT_EQ(moved.moved.size(), 3u);
    ASSERT_NE(attribute(held(moved.moved[0]), "system.posix_acl_access"), QByteArray("<none>"));
    ASSERT_NE(attribute(held(moved.moved[1]) + "/a.jpg", "system.posix_acl_access"), QByteArray("<none>"));

    for (int i = 0; i < 2; ++i) {
        const auto failed = SafeBinService::restore(moved.moved[size_t(i)]);
        EXPECT_FALSE(failed) << failed->description.toStdString();
    }
    EXPECT_EQ(contents(photo), QByteArray("jpeg"));
    EXPECT_EQ(contents(album + "/a.jpg"), QByteArray("a"));
    EXPECT_EQ(attribute(photo, "system.posix_acl_access"), QByteArray("<none>"));

    // The download's own origin cannot go back there: it stays in the bin.
    const auto refused = SafeBinService::restore(moved.moved[2]);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->description.contains("“user.xdg.origin.url”")) << refused->description.toStdString();
    EXPECT_EQ(SafeBinService::list().size(), 1u);
    keepsUser = true;
    ASSERT_FALSE(SafeBinService::restore(moved.moved[2]));
    EXPECT_EQ(attribute(download, "user.xdg.origin.url"), kOrigin);
    EXPECT_EQ(attribute(download, "system.posix_acl_access"), QByteArray("<none>"));
    EXPECT_TRUE(sideFiles().isEmpty());
}

// Read-only items keep their own attributes across file systems both ways,
// moved with a user's rights (no overriding capabilities): the copy sets
// them while its owner may still write, and only then the mode.
TEST_F(SafeBinAttributeTest, ReadOnlyItemsKeepTheirAttributesAcrossFileSystems) {
    makeItems();
    ASSERT_EQ(::chmod(nativePath(download).constData(), 0400), 0);
    ASSERT_EQ(::chmod(nativePath(folder + "/inner/note.txt").constData(), 0444), 0);
    ASSERT_EQ(::chmod(nativePath(folder + "/inner").constData(), 0555), 0);
    FileFault fault([&](std::string_view operation, const QString&) { return operation == "rename" ? EXDEV : 0; });
    GTEST_FLAG_SET(death_test_style, "fast");
    auto movedAndBack = [&] {
        if (!dropFileRightOverrides()) return 9;
        const auto moved = SafeBinService::moveToSafeBin({download, folder});
        if (moved.error || moved.moved.size() != 2) return 1;
        if (attribute(held(moved.moved[0]), "user.xdg.origin.url") != kOrigin) return 2;
        for (const SafeBinEntry& entry : moved.moved) {
            if (SafeBinService::restore(entry)) return 3;
        }
        return 0;
    };
    EXPECT_EXIT(std::_Exit(movedAndBack()), ::testing::ExitedWithCode(0), "");
    expectAttributes();
    EXPECT_EQ(lstatOf(download).st_mode & 07777, 0400u);
    EXPECT_EQ(lstatOf(folder + "/inner").st_mode & 07777, 0555u);
    EXPECT_TRUE(sideFiles().isEmpty());
}

}  // namespace
