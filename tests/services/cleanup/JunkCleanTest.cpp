// A junk scan of a fake home and the clean of what it offers: how a folder
// cleaned by its entries is judged again at the clean, and what a measure
// past its entry ceiling offers, leaves and says.
#include "services/cleanup/CleanupService.h"

#include "services/cleanup/JunkMeasure.h"
#include "services/safebin/SafeBinMover.h"
#include "support/ByteCountFormatter.h"

#include "JunkTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick::test {
namespace {

class JunkClean : public JunkTest {
protected:
    QList<CleanupItem> scan() { return CleanupService::scan({}); }
    // The temporary folder the scan looks at (its stage walks 3,000 entries).
    QString temp() {
        const QString folder = makeDir(env.path("t"));
        env.environment().tempDirectory = folder;
        env.apply();
        return folder;
    }
    SafeBinMover::Outcome clean(const CleanupItem& item) {
        return SafeBinMover::move({{{item.path, item.scope, item.seen}}});
    }
    static QStringList measuredPaths(const CleanupItem& item) {
        QStringList paths;
        if (item.scope.measured) {
            for (const ScopeEntry& entry : *item.scope.measured) paths.append(entry.path);
        }
        return paths;
    }
    // count files named 00000000, 00000001… in folder, every `every`-th of
    // 1,000 bytes (none when 0) and the others empty, all modified `when`,
    // the folder too.
    static void manyFiles(const QString& folder, int count, const QDateTime& when, int every = 0) {
        makeDir(folder);
        const QByteArray encoded = PathCodec::encode(folder);
        const std::string data(1000, 'm');
        const qint64 seconds = when.toSecsSinceEpoch();
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        for (int i = 0; i < count; ++i) {
            const QByteArray file = encoded + "/" + QByteArray::number(i).rightJustified(8, '0');
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            if (every > 0 && i % every == 0) ASSERT_EQ(::write(fd, data.data(), data.size()), ssize_t(data.size()));
            ASSERT_EQ(::futimens(fd, times), 0);
            ::close(fd);
        }
        setModified(folder, when);
    }
};

// The clean reads change times too, which no tool sets back: what was made
// or replaced in a measured entry after the scan stays and is named, however
// old its modification time reads. A change time more than a day ahead of
// the clock is a wrong date, no sign of anything.
TEST_F(JunkClean, WhatChangedSinceTheScanStaysThoughItsTimesWereSetBack) {
    const QString cache = home(".cache");
    const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-3);
    const QString module = writeFilled(cache + "/pkg/lib/module.js", 300000, 'j');
    const QString index = writeFilled(cache + "/index.bin", 200000, 'i');
    const QString quiet = writeFilled(cache + "/quiet/blob", 400000, 'q');
    for (const QString& path : {module, cache + "/pkg/lib", cache + "/pkg", index, quiet, cache + "/quiet", cache}) {
        setModified(path, old);
    }
    env.setNow(QDateTime::currentDateTimeUtc());  // the scan runs after all of that
    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, cache);
    ASSERT_TRUE(found);
    ASSERT_EQ(measuredPaths(*found), (QStringList{index, cache + "/pkg", cache + "/quiet"}));

    QThread::msleep(20);
    // Unpacked into a measured folder with the archive's times (tar -x), and
    // rewritten in place with its old time put back (rsync -t, touch -d).
    const QString unpacked = writeFilled(cache + "/pkg/lib/extra.js", 100000, 'x');
    for (const QString& path : {unpacked, cache + "/pkg/lib"}) setModified(path, old);
    {
        QFile file(index);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_EQ(file.write(QByteArray(200000, 'n')), 200000);
    }
    setModified(index, old);

    const SafeBinMover::Outcome outcome = clean(*found);
    EXPECT_EQ(outcome.movedPaths, QStringList{cache + "/quiet"});
    EXPECT_TRUE(QFileInfo::exists(unpacked));
    EXPECT_TRUE(QFileInfo::exists(module)) << "it moves whole or not at all";
    EXPECT_TRUE(QFileInfo::exists(index));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error,
              "Changed since the scan \u2014 not moved: \u201C~/.cache/index.bin\u201D, \u201C~/.cache/pkg\u201D.");

    // The same with a clock three days behind: every change time above is
    // more than a day ahead of it, so none tells of a change.
    env.setNow(QDateTime::currentDateTimeUtc().addDays(-3));
    for (const QString& path : {module, unpacked, cache + "/pkg/lib", cache + "/pkg", index}) {
        setModified(path, old.addDays(-2));
    }
    const QList<CleanupItem> again = scan();
    found = byPath(again, cache);
    ASSERT_TRUE(found);
    QThread::msleep(20);
    setModified(writeFilled(cache + "/pkg/lib/later.js", 100000, 'l'), old.addDays(-2));
    setModified(cache + "/pkg/lib", old.addDays(-2));
    const SafeBinMover::Outcome wrongDates = clean(*found);
    EXPECT_EQ(wrongDates.movedPaths, (QStringList{index, cache + "/pkg"}));
    EXPECT_FALSE(wrongDates.error) << wrongDates.error->toStdString();
}

// A flat folder past the ceiling offers the entries its measure looked at,
// no more than the walk's budget of them; the finding says how many others
// stay, and the clean leaves them.
TEST_F(JunkClean, AFlatFolderPastTheCeilingOffersAsManyEntriesAsTheWalkAllows) {
    const QString t = temp();
    constexpr int kBudget = 3000;  // the temporary folder's walk
    manyFiles(t, kBudget + 40, ago(3 * 86400), 10);

    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, t);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->isSelected);
    const QStringList measured = measuredPaths(*found);
    ASSERT_EQ(measured.size(), kBudget);
    EXPECT_EQ(measured.first(), t + "/00000000");
    EXPECT_EQ(measured.last(), t + "/00002999");
    EXPECT_EQ(found->size, qint64(kBudget / 10) * onDisk(t + "/00000000"));
    EXPECT_TRUE(found->detail.contains(" \u00B7 measured in part: at least " + ByteCountFormatter::fileStyle(found->size) +
                                       " \u00B7 40 entries not looked at stay"))
        << found->detail.toStdString();

    const SafeBinMover::Outcome outcome = clean(*found);
    EXPECT_FALSE(outcome.error) << outcome.error->toStdString();
    ASSERT_TRUE(outcome.findings[0].entry);
    ASSERT_TRUE(outcome.findings[0].entry->members);
    EXPECT_EQ(outcome.findings[0].entry->members->size(), size_t(kBudget));
    EXPECT_FALSE(QFileInfo::exists(t + "/00002999"));
    for (int i = kBudget; i < kBudget + 40; ++i) {
        EXPECT_TRUE(QFileInfo::exists(t + QStringLiteral("/%1").arg(i, 8, 10, QLatin1Char('0')))) << i;
    }
}

// What stays as in use is said with what it holds when the clean runs: an
// entry the scan never reached, though it is offered, and a fresh one it
// left in place without measuring it. Both are named, on the finding too.
TEST_F(JunkClean, WhatStaysPastTheCeilingIsNamedWithItsSize) {
    const QString cache = home(".cache");
    manyFiles(cache + "/aa", JunkMeasure::kStepCeiling + 10, ago(3 * 86400), 100);
    // Old itself, written into within the hour.
    const QString recent = writeFilled(cache + "/zz-recent/state", 300000, 'r');
    setModified(recent, ago(10 * 60));
    setModified(cache + "/zz-recent", ago(3 * 86400));
    // Made within the hour.
    const QString tracker = writeFilled(cache + "/tracker3/meta.db", 800000, 't');
    setModified(tracker, ago(5 * 60));
    setModified(cache + "/tracker3", ago(5 * 60));
    setModified(cache, ago(3 * 86400));

    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, cache);
    ASSERT_TRUE(found);
    EXPECT_EQ(measuredPaths(*found), (QStringList{cache + "/aa", cache + "/zz-recent"}));
    EXPECT_EQ(found->scope.inUseUnmeasured, QStringList{cache + "/tracker3"});
    EXPECT_TRUE(found->detail.endsWith(" \u00B7 \u201C~/.cache/tracker3\u201D in use or changed in the last hour stays, "
                                       "not measured"))
        << found->detail.toStdString();

    const SafeBinMover::Outcome outcome = clean(*found);
    EXPECT_EQ(outcome.movedPaths, QStringList{cache + "/aa"});
    EXPECT_TRUE(QFileInfo::exists(recent));
    EXPECT_TRUE(QFileInfo::exists(tracker));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, ByteCountFormatter::fileStyle(onDisk(recent) + onDisk(tracker)) +
                                  " in use or changed in the last hour stays, with \u201C~/.cache/tracker3\u201D, "
                                  "\u201C~/.cache/zz-recent\u201D.");
}

// A cache whose walk met only empty files is still offered, with what is
// known of it, and so is the entry beside them that the walk never reached.
TEST_F(JunkClean, ACacheWhoseWalkMetNothingButEmptyFilesIsOffered) {
    const QString cache = home(".cache");
    manyFiles(cache + "/empty", JunkMeasure::kStepCeiling + 10, ago(3 * 86400));
    const QString data = writeFilled(cache + "/zz/data", 100000, 'z');
    for (const QString& path : {data, cache + "/zz", cache}) setModified(path, ago(3 * 86400));

    const QList<CleanupItem> items = scan();
    const CleanupItem* found = byPath(items, cache);
    ASSERT_TRUE(found) << "measured in part: there may be any number of bytes past the walk";
    EXPECT_EQ(found->size, 0);
    EXPECT_FALSE(found->isSelected) << "nothing known to free";
    EXPECT_TRUE(found->detail.endsWith(" \u00B7 measured in part")) << found->detail.toStdString();
    EXPECT_EQ(measuredPaths(*found), (QStringList{cache + "/empty", cache + "/zz"}));

    const SafeBinMover::Outcome outcome = clean(*found);
    EXPECT_EQ(outcome.movedPaths, (QStringList{cache + "/empty", cache + "/zz"}));
    EXPECT_FALSE(outcome.error) << outcome.error->toStdString();
    EXPECT_FALSE(QFileInfo::exists(data));
}

}  // namespace
}  // namespace tarnwick::test
