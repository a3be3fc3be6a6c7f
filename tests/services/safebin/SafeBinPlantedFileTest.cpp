#include "services/safebin/SafeBinService.h"

#include "support/JsonCoding.h"

#include "SafeBinTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

// Ends the test program (SIGALRM) should a Safe Bin action hang.
struct Deadline {
    Deadline() { ::alarm(30); }
    ~Deadline() { ::alarm(0); }
};

// A FIFO where the store keeps one of its files: nothing the store reads
// may hold up an action, and what it finds reads as missing or damaged.
class SafeBinPlantedFileTest : public SafeBinTest {
protected:
    SafeBinPlantedFileTest() { env.setNow(kNow); }

    void plantFifo(const QString& path) {
        makeDir(bin());
        ::unlink(nativePath(path).constData());
        ASSERT_EQ(::mkfifo(nativePath(path).constData(), 0600), 0);
    }

    QString photo = writeFile(home("Pictures/photo.jpg"), "jpeg");
};

// The clock and the journal hold nothing the store cannot do without: every
// action goes through, and the store has a regular file there again.
TEST_F(SafeBinPlantedFileTest, AFifoAtTheClockOrTheJournalHoldsNothingUp) {
    for (const char* name : {"manifest.clock", "manifest.journal"}) {
        const QString planted = bin() + QLatin1Char('/') + QLatin1String(name);
        plantFifo(planted);
        const Deadline deadline;
        const auto moved = SafeBinService::moveToSafeBin({photo});
        ASSERT_FALSE(moved.error) << name << ": " << moved.error->description.toStdString();
        ASSERT_EQ(moved.moved.size(), 1u) << name;
        EXPECT_EQ(SafeBinService::list().size(), 1u) << name;
        const auto error = SafeBinService::restore(moved.moved[0]);
        EXPECT_FALSE(error) << name << ": " << error->description.toStdString();
        EXPECT_EQ(contents(photo), QByteArray("jpeg")) << name;
        EXPECT_TRUE(S_ISREG(lstatOf(planted).st_mode)) << name;
    }
}

// A manifest that is a FIFO reads as damaged: nothing is listed, nothing moves.
TEST_F(SafeBinPlantedFileTest, AFifoAtTheManifestReadsAsDamaged) {
    plantFifo(manifest());
    const Deadline deadline;
    EXPECT_TRUE(SafeBinService::list().empty());
    const auto moved = SafeBinService::moveToSafeBin({photo});
    ASSERT_TRUE(moved.error);
    EXPECT_EQ(moved.error->code, SafeBinService::kManifestUnreadableCode);
    EXPECT_TRUE(moved.moved.empty());
    EXPECT_EQ(contents(photo), QByteArray("jpeg"));
}

// A side file that is a FIFO reads as unreadable: the item comes back and the
// message says so.
TEST_F(SafeBinPlantedFileTest, AFifoAtASideFileReadsAsUnreadable) {
    const auto moved = SafeBinService::moveToSafeBin({photo});
    ASSERT_EQ(moved.moved.size(), 1u);
    plantFifo(bin() + QStringLiteral("/.tarnwick-attributes-") + JsonCoding::uuidText(moved.moved[0].id));
    const Deadline deadline;
    const auto error = SafeBinService::restore(moved.moved[0]);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, SafeBinService::kAttributesUnreadableCode);
    EXPECT_EQ(contents(photo), QByteArray("jpeg"));
    EXPECT_TRUE(SafeBinService::list().empty());
}

}  // namespace
