#include "services/safebin/SafeBinMover.h"

#include "FileTreeSupport.h"
#include "SafeBinTestSupport.h"

#include "support/ByteCountFormatter.h"

#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// The bytes the file at path takes on disk.
qint64 blocksOf(const QString& path) {
    struct stat st {};
    return ::lstat(PathCodec::encode(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : 0;
}

TEST(SafeBinMover, FolderEntriesAreSortedWithoutTheKeptOnes) {
    FakeEnvironment env;
    const QString folder = makeDir(env.home() + "/.cache");
    for (const char* name : {"zeta", "alpha", ".hidden", "models", "tools"}) writeFile(folder + "/" + name + "/x");
    // Not UTF-8: the entry still names its own file.
    const QByteArray odd = PathCodec::encode(folder) + "/caf\xe9";
    const int fd = ::creat(odd.constData(), 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    int error = 0;
    const auto entries =
        SafeBinMover::folderEntries(folder, {folder + "/models", folder + "/tools/deep/finding"}, &error);
    ASSERT_TRUE(entries);
    QStringList names;
    for (const QString& path : *entries) names.append(path.section('/', -1));
    ::unlink(odd.constData());  // before anything can fail: the temporary folder cannot remove it
    ASSERT_EQ(names.size(), 4) << names.join(',').toStdString();
    EXPECT_EQ((QStringList{names[0], names[1], names[3]}), (QStringList{".hidden", "alpha", "zeta"}));
    EXPECT_TRUE(PathCodec::hasEscapedBytes(names[2]));
    EXPECT_EQ(PathCodec::encode(entries->at(2)), odd);

    EXPECT_FALSE(SafeBinMover::folderEntries(folder + "/missing", {}, &error));
    EXPECT_EQ(error, ENOENT);
    ASSERT_EQ(::symlink(PathCodec::encode(folder).constData(), PathCodec::encode(env.home() + "/link").constData()), 0);
    EXPECT_FALSE(SafeBinMover::folderEntries(env.home() + "/link", {}, &error)) << "a link is never followed";
}

TEST(SafeBinMover, UnreadableFolderKeepsItsFindingAndSaysSo) {
    FakeEnvironment env;
    // A file where the folder was: it cannot be listed (and is not taken for the folder).
    const QString locked = writeFile(env.home() + "/locked", "not a folder");
    const QString other = writeFile(env.home() + "/other.log", "x");
    const SafeBinMover::Outcome outcome =
        SafeBinMover::move({{{locked, MoveScope{true, {}}}}, {{other, MoveScope{}}}});
    ASSERT_EQ(outcome.findings.size(), 2u);
    EXPECT_FALSE(outcome.findings[0].cleaned);
    EXPECT_FALSE(outcome.findings[0].moved);
    EXPECT_TRUE(outcome.findings[1].cleaned);
    EXPECT_TRUE(outcome.findings[1].moved);
    EXPECT_GT(outcome.findings[1].movedBytes, 0);
    EXPECT_EQ(outcome.movedPaths, QStringList{other});
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->startsWith("Could not read \u201C~/locked\u201D")) << outcome.error->toStdString();
    EXPECT_TRUE(QFileInfo::exists(locked));
}

TEST(SafeBinMover, EachFindingIsOneItemAndWhatChangedSinceTheScanStays) {
    FakeEnvironment env;
    const QString h = env.home();
    // An old download replaced by a fresh one of the same name.
    const QString download = writeFile(h + "/Downloads/tool.iso", QByteArray(6000, 'o'));
    const std::optional<FileIdentity> seenDownload = FileIdentity::of(download);
    QFile::remove(download);
    writeFile(download, QByteArray(9000, 'n'));
    // A trashed file with its record.
    const QString trashed = writeFile(h + "/.local/share/Trash/files/report.pdf", "pdf");
    const QString record = writeFile(h + "/.local/share/Trash/info/report.pdf.trashinfo", "[Trash Info]");
    // A cache folder cleaned by the entries it measured: one of them changed
    // since, and another appeared.
    const QString cache = makeDir(h + "/.cache");
    const QString kept = writeFile(cache + "/kept.bin", "k");
    const QString changed = writeFile(cache + "/changed.bin", "c");
    for (const QString& path : {kept, changed}) setModified(path, QDateTime::currentDateTimeUtc().addSecs(-7200));
    MoveScope scope{true, {}};
    scope.measured = QList<ScopeEntry>{{kept, *FileIdentity::of(kept)}, {changed, *FileIdentity::of(changed)}};
    writeFile(changed, "changed since");
    const QString appeared = writeFile(cache + "/appeared.bin", "a");

    const SafeBinMover::Outcome outcome = SafeBinMover::move({{{download, {}, seenDownload}},
                                                              {{trashed, {}, FileIdentity::of(trashed)}, {record}},
                                                              {{cache, scope}}});
    ASSERT_EQ(outcome.findings.size(), 3u);
    EXPECT_FALSE(outcome.findings[0].moved);
    EXPECT_EQ(contents(download), QByteArray(9000, 'n')) << "the new file stays";

    const SafeBinMover::FindingResult& trash = outcome.findings[1];
    EXPECT_TRUE(trash.cleaned);
    EXPECT_EQ(trash.movedItems, 1);
    ASSERT_TRUE(trash.entry && trash.entry->members);
    EXPECT_EQ(trash.entry->displayName, "report.pdf");
    EXPECT_EQ(trash.entry->members->size(), 2u);
    EXPECT_EQ(trash.movedBytes, trash.entry->size);

    const SafeBinMover::FindingResult& caches = outcome.findings[2];
    EXPECT_FALSE(caches.cleaned) << "a measured entry is still there";
    ASSERT_TRUE(caches.entry && caches.entry->members);
    EXPECT_EQ(caches.entry->displayName, ".cache");
    ASSERT_EQ(caches.entry->members->size(), 1u);
    EXPECT_EQ(caches.entry->members->front().originalPath, kept);
    EXPECT_TRUE(QFileInfo::exists(changed));
    EXPECT_TRUE(QFileInfo::exists(appeared)) << "nothing that appeared since the scan moves";

    EXPECT_EQ(SafeBinService::list().size(), 2u) << "one Safe Bin row per finding that moved";
    EXPECT_EQ(outcome.movedPaths, (QStringList{trashed, record, kept}));
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->contains("Changed since the scan \u2014 not moved: \u201C~/Downloads/tool.iso\u201D, "
                                        "\u201C~/.cache/changed.bin\u201D."))
        << outcome.error->toStdString();

    // The trashed file comes back with its record.
    ASSERT_FALSE(SafeBinService::restore(*trash.entry));
    EXPECT_EQ(contents(trashed), QByteArray("pdf"));
    EXPECT_EQ(contents(record), QByteArray("[Trash Info]"));
}

// An entry copied into the bin whose original could not be wholly removed
// did not leave its place: it is named as partly moved, and neither its
// path nor its bytes count as moved.
TEST(SafeBinMover, AnEntryPartlyLeftInPlaceIsNotCountedAsMoved) {
    FakeEnvironment env;
    const QString cache = makeDir(env.home() + "/.cache");
    const QString whole = writeFile(cache + "/whole/x.bin", QByteArray(3000, 'w')).section('/', 0, -2);
    const QString part = writeFile(cache + "/part/locked/y.bin", QByteArray(5000, 'p')).section('/', 0, -3);
    writeFile(part + "/z.bin", QByteArray(4000, 'z'));
    MoveScope scope{true, {}};
    scope.measured = QList<ScopeEntry>{{part, *FileIdentity::of(part)}, {whole, *FileIdentity::of(whole)}};
    const QString bin = SafeBinService::root();
    FileFault fault([&](std::string_view operation, const QString& path) {
        if (operation == "rename") return EXDEV;
        return operation == "remove" && path.endsWith("/locked/y.bin") && !path.startsWith(bin) ? EACCES : 0;
    });
    const SafeBinMover::Outcome outcome = SafeBinMover::move({{{cache, scope}}});
    const SafeBinMover::FindingResult& result = outcome.findings.at(0);
    ASSERT_TRUE(result.entry && result.entry->members);
    ASSERT_EQ(result.entry->members->size(), 2u) << "both copies are held";
    EXPECT_FALSE(result.cleaned);
    EXPECT_TRUE(result.moved);
    EXPECT_EQ(result.partlyMoved, QStringList{part});
    EXPECT_EQ(result.movedPaths, QStringList{whole});
    EXPECT_EQ(outcome.movedPaths, QStringList{whole});
    for (const SafeBinEntry::Member& member : *result.entry->members) {
        if (member.originalPath == whole) EXPECT_EQ(result.movedBytes, member.size) << "the whole entry's bytes alone";
    }
    EXPECT_LT(result.movedBytes, result.entry->size);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->contains("Partly moved \u2014 a copy is in the Safe Bin and part of the original is "
                                        "still in place: \u201C~/.cache/part\u201D."))
        << outcome.error->toStdString();
    EXPECT_FALSE(outcome.error->contains("Not moved")) << outcome.error->toStdString();

    // Nothing of it left its place: not moved at all.
    writeFile(cache + "/again/locked/y.bin", "y");
    const SafeBinMover::Outcome single = SafeBinMover::move({{{cache + "/again"}}});
    EXPECT_TRUE(single.findings.at(0).entry);
    EXPECT_FALSE(single.findings.at(0).moved);
    EXPECT_EQ(single.findings.at(0).movedBytes, 0);
    EXPECT_TRUE(single.movedPaths.isEmpty());
}

TEST(SafeBinMover, WhatIsInUseNeverMoves) {
    FakeEnvironment env;
    const QString tmp = makeDir(env.home() + "/tmp");
    const QString old = writeFile(tmp + "/old.txt", "old");
    const QString fresh = writeFile(tmp + "/fresh.txt", "fresh");
    ListeningSocket agent(tmp + "/agent.sock");
    ASSERT_EQ(::mkfifo(PathCodec::encode(tmp + "/pipe").constData(), 0600), 0);
    const QString quiet = writeFile(tmp + "/quiet/data", "q");
    const QString busy = writeFile(tmp + "/busy/data", "b");
    const QString sockets = makeDir(tmp + "/sockets");
    ListeningSocket socket(sockets + "/s");
    // Last changed two hours ago: not in use.
    for (const QString& path : {old, quiet, tmp + "/quiet", tmp + "/busy", sockets}) {
        setModified(path, QDateTime::currentDateTimeUtc().addSecs(-7200));
    }

    // No measured entries: those in use are left out when listed now.
    const SafeBinMover::Outcome outcome = SafeBinMover::move({{{tmp, MoveScope{true, {}}}}});
    ASSERT_TRUE(outcome.findings[0].entry);
    QStringList moved;
    for (const SafeBinEntry::Member& member : *outcome.findings[0].entry->members) moved.append(member.originalPath);
    EXPECT_EQ(moved, (QStringList{old, tmp + "/quiet"}));
    for (const QString& stays : {fresh, tmp + "/agent.sock", tmp + "/pipe", busy, sockets + "/s"}) {
        EXPECT_TRUE(FileOperations::itemExists(stays)) << stays.toStdString();
    }
    EXPECT_FALSE(outcome.error) << "left out, not failed";

    // Named or held by a folder moved whole, they are refused by name.
    const SafeBinMover::Outcome whole = SafeBinMover::move({{{sockets}}, {{tmp + "/pipe"}}});
    EXPECT_FALSE(whole.findings[0].moved);
    EXPECT_FALSE(whole.findings[1].moved);
    ASSERT_TRUE(whole.error);
    EXPECT_TRUE(whole.error->contains("it holds \u201C" + sockets + "/s\u201D, a socket, pipe or device"))
        << whole.error->toStdString();
    EXPECT_TRUE(whole.error->contains("Not moved: \u201C~/tmp/sockets\u201D, \u201C~/tmp/pipe\u201D."));
}

// The clean judges each measured entry of a folder cleaned by its entries
// again: one in which anything changed since the scan or within the hour
// stays, and the message says it with the bytes it holds now and those the
// scan already left; a date far ahead of the clock is no sign of use.
TEST(SafeBinMover, MeasuredEntriesChangedSinceTheScanStayAndAreNamed) {
    FakeEnvironment env;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    env.setNow(now);
    const QString folder = makeDir(env.home() + "/.cache");
    const QString thumbs = writeFile(folder + "/thumbs/a/1.png", QByteArray(5000, 'p'));
    const QString blobs = writeFile(folder + "/blobs/b1", QByteArray(5000, 'b'));
    const QString index = writeFile(folder + "/blobs/index", "i");
    const QString log = writeFile(folder + "/old.log", QByteArray(3000, 'l'));
    for (const QString& path : {thumbs, folder + "/thumbs/a", folder + "/thumbs", blobs, folder + "/blobs", log}) {
        setModified(path, now.addDays(-3));
    }
    setModified(index, now.addYears(5));
    MoveScope scope;
    scope.contentsOnly = true;
    scope.measuredAtMSecs = QDateTime::currentMSecsSinceEpoch();  // the scan, after all of that
    scope.inUseBytes = 2000000;  // what the scan already left in place
    scope.measured = QList<ScopeEntry>{};
    for (const QString& path : {folder + "/blobs", log, folder + "/thumbs"}) {
        scope.measured->append(ScopeEntry{path, *FileIdentity::of(path), 100});
    }
    QThread::msleep(20);
    // Written after the scan, deep inside a measured folder.
    const QString arrived = writeFile(folder + "/thumbs/a/2.png", "new");
    setModified(arrived, now.addSecs(-30));
    setModified(folder + "/thumbs/a", now.addDays(-3));

    const SafeBinMover::Outcome outcome = SafeBinMover::move({{{folder, scope, FileIdentity::of(folder)}}});
    ASSERT_EQ(outcome.findings.size(), 1u);
    EXPECT_TRUE(outcome.findings[0].cleaned);
    EXPECT_TRUE(outcome.findings[0].moved);
    EXPECT_EQ(outcome.movedPaths, (QStringList{folder + "/blobs", log}));
    EXPECT_TRUE(QFileInfo::exists(arrived));
    EXPECT_TRUE(QFileInfo::exists(thumbs)) << "it moves whole or not at all";
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, ByteCountFormatter::fileStyle(2000000 + blocksOf(thumbs) + blocksOf(arrived)) +
                                  " in use or changed in the last hour stays, with \u201C~/.cache/thumbs\u201D.");
}

}  // namespace
