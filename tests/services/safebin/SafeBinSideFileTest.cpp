#include "services/safebin/SafeBinService.h"

#include "support/JsonCoding.h"

#include "SafeBinTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include <sys/xattr.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

// The file the Safe Bin keeps beside an item is input: these write it by
// hand into the bin folder and put the item back through the service.
class SafeBinSideFileTest : public SafeBinTest {
protected:
    SafeBinSideFileTest() {
        env.setNow(kNow);
        writeFile(folder + "/inner/note.txt", "note");
    }

    static QByteArray attribute(const QString& path, const char* name) {
        QByteArray value(4096, '\0');
        const ssize_t length = ::lgetxattr(nativePath(path).constData(), name, value.data(), size_t(value.size()));
        return length < 0 ? QByteArray("<none>") : value.left(length);
    }
    static QByteArray line(const QByteArray& item, const QByteArray& name, const QByteArray& value) {
        return item.toBase64() + ' ' + name.toBase64() + ' ' + value.toBase64() + '\n';
    }
    QString sideFile(const SafeBinEntry& entry) const {
        return bin() + QStringLiteral("/.tarnwick-attributes-") + JsonCoding::uuidText(entry.id);
    }
    SafeBinEntry moveIn(const QString& path) {
        const auto moved = SafeBinService::moveToSafeBin({path});
        EXPECT_FALSE(moved.error) << moved.error->description.toStdString();
        return moved.moved.empty() ? SafeBinEntry{} : moved.moved.front();
    }
    // The item came back, and the message says what was kept could not be read.
    void expectBackWithoutAttributes(const std::optional<FileError>& error, const QString& path, const char* what) {
        ASSERT_TRUE(error) << what;
        EXPECT_EQ(error->code, SafeBinService::kAttributesUnreadableCode) << what;
        EXPECT_TRUE(error->description.contains(QStringLiteral("could not be read"))) << error->description.toStdString();
        EXPECT_TRUE(error->description.startsWith(QStringLiteral("Put back “~/"))) << error->description.toStdString();
        EXPECT_TRUE(FileOperations::itemExists(path)) << what;
        EXPECT_TRUE(SafeBinService::list().empty()) << what;
        EXPECT_TRUE(binContents(bin()) == QStringList{"manifest.json"}) << binContents(bin()).join(' ').toStdString();
    }

    QString folder = home("Projects/kept");
};

// Item paths that leave the restored item (or start from "/") set nothing
// anywhere: the folder above stays as it was, and the file reads as damaged.
TEST_F(SafeBinSideFileTest, ItemPathsOutsideTheItemSetNothing) {
    for (const QByteArray& item : {QByteArray(".."), QByteArray("../.."), QByteArray("inner/../.."), QByteArray("/tmp"),
                                   QByteArray("inner//note.txt"), QByteArray(".")}) {
        const SafeBinEntry entry = moveIn(folder);
        writeFile(sideFile(entry), line("inner", "user.fine", "1") + line(item, "user.planted", "rwx"));
        expectBackWithoutAttributes(SafeBinService::restore(entry), folder, item.constData());
        for (const QString& path : {folder, folder + "/inner", home("Projects"), home(""), QStringLiteral("/tmp")}) {
            EXPECT_EQ(attribute(path, "user.planted"), QByteArray("<none>")) << item.constData() << " " << path.toStdString();
        }
        EXPECT_EQ(attribute(folder + "/inner", "user.fine"), QByteArray("<none>"));
    }
}

// A side file of another user's is not the bin's own: nothing of it is set.
TEST_F(SafeBinSideFileTest, AnotherUsersSideFileIsNotApplied) {
    const SafeBinEntry entry = moveIn(folder);
    const QString side = writeFile(sideFile(entry), line("", "user.planted", "1"));
    if (::lchown(nativePath(side).constData(), 65534, 65534) != 0) GTEST_SKIP() << "cannot give a file to another user here";
    expectBackWithoutAttributes(SafeBinService::restore(entry), folder, "another user's");
    EXPECT_EQ(attribute(folder, "user.planted"), QByteArray("<none>"));
}

// The system's own attributes are never set from a side file: the restore
// is not held up by them, and what else was kept comes back.
TEST_F(SafeBinSideFileTest, TheSystemsOwnAttributesAreNeverSetFromASideFile) {
    const SafeBinEntry entry = moveIn(folder);
    writeFile(sideFile(entry), line("", "security.selinux", "system_u:object_r:etc_t:s0") + line("", "trusted.planted", "1") +
                                   line("inner", "user.fine", "1"));
    QStringList tried;
    FileFault fault([&](std::string_view operation, const QString& path) {
        if (operation == "attribute") tried.append(path.section(QLatin1Char(':'), -1));
        return 0;
    });
    const auto error = SafeBinService::restore(entry);
    EXPECT_FALSE(error) << error->description.toStdString();
    EXPECT_EQ(tried, QStringList{"user.fine"});
    EXPECT_EQ(attribute(folder + "/inner", "user.fine"), QByteArray("1"));
    EXPECT_EQ(attribute(folder, "trusted.planted"), QByteArray("<none>"));
}

// Garbled, cut short, oversized, or no file at all but a folder: the item
// still comes back, and the message says its attributes could not be read.
TEST_F(SafeBinSideFileTest, ADamagedSideFileSaysSoAndTheItemStillComesBack) {
    const QByteArray good = line("inner", "user.fine", "1");
    for (const char* damage : {"garbled", "no name", "truncated", "oversized", "folder"}) {
        const SafeBinEntry entry = moveIn(folder);
        const QString side = sideFile(entry);
        const QByteArray kind(damage);
        if (kind == "garbled") writeFile(side, good + "not base64 at all!\n");
        if (kind == "no name") writeFile(side, good + QByteArray("aW5uZXI= ") + ' ' + QByteArray("MQ==\n"));
        if (kind == "truncated") writeFile(side, good + good.left(good.size() - 3));
        if (kind == "oversized") {
            QFile file(writeFile(side, good));
            ASSERT_TRUE(file.resize(qint64(65) << 20));
        }
        if (kind == "folder") makeDir(side);
        const auto error = SafeBinService::restore(entry);
        if (kind == "folder") {
            // A folder at its name cannot be cleared away: only the item is asked for.
            ASSERT_TRUE(error) << damage;
            EXPECT_EQ(error->code, SafeBinService::kAttributesUnreadableCode);
            EXPECT_TRUE(FileOperations::itemExists(folder));
            ::rmdir(nativePath(side).constData());
        } else {
            expectBackWithoutAttributes(error, folder, damage);
        }
        EXPECT_EQ(attribute(folder + "/inner", "user.fine"), QByteArray("<none>")) << damage;
    }
}

// In a child: drops the capabilities that override file rights, then puts
// the entry back. 0 when that went without a word.
int restoredAsAUser(const SafeBinEntry& entry) {
    if (!dropFileRightOverrides()) return 9;
    return SafeBinService::restore(entry) ? 1 : 0;
}

// An item its owner may only write to (mode 0200) gets what was kept for it,
// read and write rights of a user's own (no overriding capabilities).
TEST_F(SafeBinSideFileTest, AnItemItsOwnerCannotReadGetsItsKeptAttribute) {
    const QString secret = writeFile(home("Documents/secret.txt"), "secret");
    ASSERT_EQ(::chmod(nativePath(secret).constData(), 0200), 0);
    const SafeBinEntry entry = moveIn(secret);
    writeFile(sideFile(entry), line("", "user.note", "kept"));
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(std::_Exit(restoredAsAUser(entry)), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(attribute(secret, "user.note"), QByteArray("kept"));
    EXPECT_EQ(lstatOf(secret).st_mode & 07777, 0200u);
}

}  // namespace
