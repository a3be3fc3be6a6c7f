#include "services/cleanup/DuplicateFinder.h"

#include "platform/FileReader.h"
#include "services/cleanup/ClutterSearches.h"
#include "services/cleanup/DigestCache.h"
#include "services/cleanup/JunkSearches.h"

#include "JunkTestSupport.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <set>

namespace tarnwick {
namespace {

using test::writeFilled;
using test::writeSparse;

constexpr qint64 MiB = 1 << 20;

class DuplicateFinderTest : public test::JunkTest {
protected:
    QString file(const QString& name) const { return home(QStringLiteral("set/") + name); }

    // The groups found among the files, each as "kept: copy copy…" by name.
    QStringList groupsOf(const QStringList& paths, DuplicateFinder::Options options = {}) {
        DuplicateFinder finder;
        for (const QString& path : paths) {
            const std::optional<FileEntry> entry = FileEntry::at(path);
            if (entry) finder.add(*entry, entry->logicalSize);
        }
        QStringList groups;
        finder.find(options, [&](const DuplicateFinder::Group& group) {
            QString text = group.kept->name + QLatin1Char(':');
            for (const DuplicateFinder::Candidate* copy : group.copies) text += QLatin1Char(' ') + copy->name;
            groups.append(text);
        });
        return groups;
    }

    // Writes count bytes of text at offset into an existing file.
    static void writeAt(const QString& path, qint64 offset, const QByteArray& text) {
        const int fd = ::open(PathCodec::encode(path).constData(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, text.constData(), size_t(text.size()), offset), text.size());
        ::close(fd);
    }
};

TEST_F(DuplicateFinderTest, OnlyWholeEqualContentsGroupAndEachFileIsReadOnce) {
    // Pairs of one size each: half of them differ only in their last byte,
    // half are twins; a triple; a file and a second name of it; a lone size.
    QStringList paths;
    QStringList expected;
    qint64 wholeBytes = 0;
    for (int i = 0; i < 12; ++i) {
        const qint64 size = 3 * MiB + i * 4099;
        const QString a = QStringLiteral("p%1-a").arg(i, 2, 10, QLatin1Char('0'));
        const QString b = QStringLiteral("p%1-b").arg(i, 2, 10, QLatin1Char('0'));
        const bool twins = i % 2 == 0;
        paths << writeFilled(file(a), size, char('a' + i), "x") << writeFilled(file(b), size, char('a' + i), twins ? "x" : "y");
        if (twins) expected.prepend(a + QStringLiteral(": ") + b);  // larger sizes come first
        wholeBytes += 2 * size;
    }
    paths << writeFilled(file("t1"), 5 * MiB, 't') << writeFilled(file("t2"), 5 * MiB, 't')
          << writeFilled(file("t3"), 5 * MiB, 't');
    expected.prepend(QStringLiteral("t1: t2 t3"));
    wholeBytes += 3 * 5 * MiB;
    paths << writeFilled(file("linked"), 4 * MiB, 'l');
    ASSERT_EQ(::link(PathCodec::encode(file("linked")).constData(), PathCodec::encode(file("linked-too")).constData()), 0);
    paths << file("linked-too");
    // Alike in their first 256 KiB, then different: read whole as well.
    paths << writeFilled(file("s1"), 6 * MiB, 's', "1") << writeFilled(file("s2"), 6 * MiB, 's', "2");
    wholeBytes += 2 * 6 * MiB;
    paths << writeFilled(file("lone"), 7 * MiB, 'z');

    for (int threads : {1, 4}) {
        DuplicateFinder::Options options;
        options.threads = threads;
        const quint64 readBefore = FileReader::totalBytesRead();
        const quint64 openedBefore = FileReader::totalFilesOpened();
        EXPECT_EQ(groupsOf(paths, options), expected) << threads << " threads";
        // Every candidate whose size another shares is opened once; only
        // files whose first block another shares are read past it.
        EXPECT_EQ(FileReader::totalBytesRead() - readBefore, quint64(wholeBytes)) << threads << " threads";
        EXPECT_EQ(FileReader::totalFilesOpened() - openedBefore, quint64(12 * 2 + 3 + 2)) << threads << " threads";
    }
}

TEST_F(DuplicateFinderTest, HolesAreNeverReadAndCountAsZeros) {
    // Two files of 8 TiB holding 1 MiB of data at each end: their data is
    // read, their holes are not.
    const qint64 huge = qint64(8) << 40;
    QStringList sparse;
    for (const char* name : {"huge-1", "huge-2"}) {
        const QString path = writeSparse(file(name), huge);
        if (QFileInfo(path).size() != huge) GTEST_SKIP() << "this file system does not keep files of 8 TiB";
        writeAt(path, 0, QByteArray(MiB, 'h'));
        writeAt(path, huge - MiB, QByteArray(MiB, 'h'));
        sparse << path;
    }
    // A file of 8 MiB with a hole between data, and the same content fully
    // written: equal, however the zeros are kept.
    const QString holed = writeSparse(file("holed"), 8 * MiB);
    writeAt(holed, 0, QByteArray(MiB, 'd'));
    writeAt(holed, 7 * MiB, QByteArray(MiB, 'd'));
    QByteArray written(8 * MiB, '\0');
    written.replace(0, MiB, QByteArray(MiB, 'd'));
    written.replace(7 * MiB, MiB, QByteArray(MiB, 'd'));
    test::writeFile(file("written"), written);
    // Same size, zeros where the other has data: no copy.
    const QString other = writeSparse(file("other"), 8 * MiB);
    writeAt(other, 0, QByteArray(MiB, 'd'));

    const quint64 readBefore = FileReader::totalBytesRead();
    EXPECT_EQ(groupsOf(sparse + QStringList{holed, file("written"), other}),
              (QStringList{"huge-1: huge-2", "holed: written"}));
    EXPECT_EQ(FileReader::totalBytesRead() - readBefore, quint64(2 * 2 * MiB + 2 * MiB + 8 * MiB + MiB));

    // Within a budget that a file's data would overrun, it is left out rather than guessed.
    DuplicateFinder::Options tight;
    tight.mostBytesRead = 3 * MiB;
    EXPECT_EQ(groupsOf(sparse, tight), QStringList{});
}

TEST_F(DuplicateFinderTest, SparseFilesTakingNoSpaceAreNoCandidates) {
    const QString downloads = home(QStringLiteral("Downloads"));
    const QString documents = home(QStringLiteral("Documents"));
    // Two empty disk images of 16 GiB: equal, and freeing nothing.
    writeSparse(downloads + QStringLiteral("/disk-1.img"), qint64(16) << 30);
    writeSparse(documents + QStringLiteral("/disk-2.img"), qint64(16) << 30);
    const quint64 readBefore = FileReader::totalBytesRead();
    EXPECT_TRUE(CleanupService::findDuplicates({downloads, documents}, 25, context()).empty());
    EXPECT_TRUE(ClutterService::duplicates({downloads, documents}, context()).isEmpty());
    EXPECT_EQ(FileReader::totalBytesRead(), readBefore);
}

TEST_F(DuplicateFinderTest, OnePassReadsEachCandidateOnceForBothSearches) {
    const QString downloads = home(QStringLiteral("Downloads"));
    const QString documents = home(QStringLiteral("Documents"));
    const QString desktop = home(QStringLiteral("Desktop"));
    writeFilled(downloads + QStringLiteral("/a.bin"), 3 * MiB, 'a');
    writeFilled(documents + QStringLiteral("/a copy.bin"), 3 * MiB, 'a');
    writeFilled(downloads + QStringLiteral("/b.bin"), 4 * MiB, 'b', "1");
    writeFilled(documents + QStringLiteral("/b near.bin"), 4 * MiB, 'b', "2");
    // Alone in the junk scan's folders; its twin on the desktop makes the
    // clutter scan read the rest of it.
    writeFilled(downloads + QStringLiteral("/c.bin"), 5 * MiB, 'c');
    writeFilled(desktop + QStringLiteral("/c copy.bin"), 5 * MiB, 'c');
    writeFilled(documents + QStringLiteral("/c other.bin"), 5 * MiB, 'x');
    // Everything once, but the first block alone of the file no other starts like.
    const quint64 everything = 2 * 3 * MiB + 2 * 4 * MiB + 2 * 5 * MiB + DuplicateFinder::kPartialBytes;

    auto both = [&] {
        const auto junk = CleanupService::findDuplicates({downloads, documents}, 25, context());
        const auto clutter = ClutterService::duplicates({downloads, documents, desktop}, context());
        QStringList titles;
        for (const JunkFinding& finding : junk) titles << QStringLiteral("junk ") + finding.item.title;
        for (const ClutterItem& item : clutter) titles << QStringLiteral("clutter ") + item.title;
        return titles;
    };
    const QStringList expected{"junk a copy.bin", "clutter c copy.bin", "clutter a copy.bin"};
    quint64 readBefore = FileReader::totalBytesRead();
    {
        const DigestCache::Scope pass;
        EXPECT_EQ(both(), expected);
        EXPECT_EQ(FileReader::totalBytesRead() - readBefore, everything);

        // A file rewritten within the pass (same size, new content) is read
        // again and its old digest is not trusted.
        writeFilled(documents + QStringLiteral("/a copy.bin"), 3 * MiB, 'a', "changed");
        readBefore = FileReader::totalBytesRead();
        EXPECT_EQ(both(), (QStringList{"clutter c copy.bin"}));
        EXPECT_EQ(FileReader::totalBytesRead() - readBefore, quint64(3 * MiB)) << "the changed file alone";
    }
    EXPECT_EQ(DigestCache::current(), nullptr);
    readBefore = FileReader::totalBytesRead();
    both();
    EXPECT_GT(FileReader::totalBytesRead() - readBefore, everything) << "without a pass, each search reads for itself";
}

}  // namespace
}  // namespace tarnwick
