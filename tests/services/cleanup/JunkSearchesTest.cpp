#include "services/cleanup/JunkSearches.h"

#include "platform/FileReader.h"

#include "BundleTestSupport.h"
#include "JunkTestSupport.h"

#include <QFile>

#include <unistd.h>

namespace tarnwick::test {
namespace {

constexpr qint64 MB = 1000000;
constexpr qint64 kDay = 86400;

class JunkSearches : public JunkTest {
protected:
    // Files in Downloads: name, bytes (written), age in seconds.
    QString downloads(std::initializer_list<std::tuple<const char*, qint64, qint64>> files) {
        for (const auto& [name, bytes, age] : files) setModified(writeFilled(home("Downloads/") + name, bytes), ago(age));
        return home("Downloads");
    }
};

TEST_F(JunkSearches, BoundedSizeCountsTheFirstEntriesAPackageAsOneAndDiskImagesByTheirBlocks) {
    const QString folder = makeDir(home("many"));
    // One byte in 30,000 entries: names of one file (cheap to make), each counted as itself.
    const QByteArray base = PathCodec::encode(writeFilled(folder + "/f0", 1));
    for (int i = 1; i < 30000; ++i) ASSERT_EQ(::link(base.constData(), (base + "-" + QByteArray::number(i)).constData()), 0);
    EXPECT_EQ(CleanupService::directorySize(folder, 40000), 20000);
    EXPECT_EQ(CleanupService::directorySize(folder, 3000), 3000);
    EXPECT_EQ(CleanupService::directorySize(home("missing"), 10), 0);

    const QString sized = home("sized");
    writeSparse(sized + "/Big.app/Contents/binary", 50 * MB);
    writeSparse(sized + "/.hidden", 300);
    writeFilled(sized + "/plain", 700);
    EXPECT_EQ(CleanupService::directorySize(sized, 100), 1000);
    const qint64 image = CleanupService::directorySize(writeSparse(home("vm/Docker.raw"), 64 * MB, 1 << 20), 10);
    EXPECT_GE(image, 1 << 20);
    EXPECT_LT(image, 2 * MB) << "1 MiB of the 64 MB written";
    EXPECT_EQ(CleanupService::directorySize(writeSparse(home("vm/Docker.img"), 64 * MB), 10), 64 * MB);
}

TEST_F(JunkSearches, IncompleteDownloadsLeaveOutWhatIsStillBeingWritten) {
    const QString folder = home("Downloads");
    for (const auto& [name, size, age] : {std::tuple("Setup.DMG.part", 50 * MB, 7200), std::tuple("small.crdownload", 90000LL, 7200),
                                         std::tuple("edge.tmp", 100000LL, 7200), std::tuple("over.tmp", 100001LL, 7200),
                                         std::tuple("writing.part", 50 * MB, 600), std::tuple("film.mkv", 50 * MB, 7200),
                                         std::tuple(".hidden.part", 50 * MB, 7200)}) {
        setModified(writeSparse(folder + '/' + name, size), ago(age));
    }
    // A download package: the folder is old, one file in it is fresh.
    setModified(writeSparse(folder + "/movie.mp4.download/data", 5 * MB), ago(60));
    setModified(folder + "/movie.mp4.download", ago(7200));

    const auto findings = CleanupService::incompleteDownloads(folder, context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"Setup.DMG.part", "over.tmp"}));
    EXPECT_EQ(findings[0].item.size, 50 * MB);
    EXPECT_TRUE(findings[0].item.isSelected && findings[0].item.isSafeDefault);
    EXPECT_TRUE(CleanupService::incompleteDownloads(home("none"), context()).empty());
}

TEST_F(JunkSearches, NamedFoldersAreFoundOnceAndNotEntered) {
    writeSparse(home("Projects/web/node_modules/react/index.js"), 300 * MB);
    writeSparse(home("Projects/web/node_modules/react/node_modules/x/big"), 300 * MB);
    // A small one is walked into; the ones inside it lie in a node_modules path.
    writeSparse(home("Projects/tool/node_modules/a.js"), 1 * MB);
    writeSparse(home("Projects/tool/node_modules/dep/node_modules/big"), 3 * MB);
    writeSparse(home("Projects/.hidden/node_modules/big"), 6 * MB);
    writeSparse(home("Projects/edge/node_modules/big"), 5 * MB);  // not more than 5,000,000
    writeSparse(home("Developer/api/node_modules/big"), 6 * MB);
    writeSparse(home("Documents/site/node_modules/big"), 6 * MB);
    const QStringList roots = {home("Projects"), home("Missing"), home("Developer"), home("Projects"), home("Documents")};
    auto findings = CleanupService::findNamedDirectories("node_modules", roots, CleanupCategory::node, 40, context());
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].item.path, home("Projects/web/node_modules"));
    EXPECT_EQ(findings[0].item.detail, "~/Projects/web");
    EXPECT_EQ(findings[0].item.size, 600 * MB) << "its own node_modules inside count, and yield no finding";
    EXPECT_EQ(findings[1].item.detail, "~/Developer/api");
    EXPECT_EQ(findings[2].item.detail, "~/Documents/site");
    // The limit counts across roots: a later root is not walked once it is reached.
    EXPECT_EQ(CleanupService::findNamedDirectories("node_modules", roots, CleanupCategory::node, 2, context()).size(), 2u);
}

TEST(JunkLeftoverClaims, InstalledNamesClaimTheirOwnDataOnly) {
    const QSet<QString> installed = {"editor", "x", "google chrome", "vlc"};
    for (const auto& [entry, claimed] :
         {std::pair("com.acme.editor", true), std::pair("Editor", true), std::pair("EditorData", true),
          std::pair("Google Chrome", true), std::pair("com.google.chrome.helper", false), std::pair("X", true),
          std::pair("com.example.x", true), std::pair("Xylophone", false), std::pair("Boxed", false),
          std::pair("vlc", true), std::pair("org.videolan.vlc", true), std::pair("vlcplayer", false),
          std::pair("com.acme.edi", false) /* a short token claims nothing */, std::pair("...", false)}) {
        EXPECT_EQ(CleanupService::isClaimedByInstalledApp(entry, installed), claimed) << entry;
    }
    // Installed identifiers claim their own entries, up to a "." or the end.
    for (const auto& [entry, claimed] : {std::pair("com.google.Chrome", true), std::pair("com.google.chrome.helper", true),
                                         std::pair("com.google.Chromecast", false), std::pair("com.google", false)}) {
        EXPECT_EQ(CleanupService::isClaimedByInstalledApp(entry, {}, {"com.google.Chrome"}), claimed) << entry;
    }
}

TEST_F(JunkSearches, LeftoversAreSupportFoldersNoInstalledAppClaims) {
    makeDir(root("/Applications/Editor.app"));
    makeDir(home("Applications/Paint.app"));
    writeBundle(root("/Applications"), "Brush", {{"CFBundleIdentifier", "org.painting.studio"}});
    const QString support = home("Library/Application Support/");
    for (const char* name : {"com.acme.editor", "Paint", "com.gone.viewer", "Mobile Documents", "com.apple.Safari",
                             "Tarnwick", ".hidden"}) {
        writeSparse(support + name + "/data", 25 * MB);
    }
    writeSparse(support + "small/data", 20 * MB);  // not more than 20,000,000
    writeSparse(home("Library/Containers/com.old.app/Data/x"), 30 * MB);
    writeSparse(home("Library/Containers/org.painting.studio.helper/Data/x"), 30 * MB);  // Brush's

    const auto findings = CleanupService::findAppLeftovers(context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"com.gone.viewer", "com.old.app"}));
    EXPECT_EQ(findings[0].item.category, CleanupCategory::leftovers);
    EXPECT_FALSE(findings[0].item.isSelected);
    for (int i = 0; i < 32; ++i) writeSparse(support + QStringLiteral("gone%1/x").arg(i, 2, 10, QLatin1Char('0')), 21 * MB);
    EXPECT_EQ(CleanupService::findAppLeftovers(context()).size(), 30u);
}

// A program run from Downloads keeps its download date: never pre-selected.
TEST_F(JunkSearches, OldInstallersAreOlderThanThirtyDaysAndLargerThanFiveMegabytes) {
    const QString folder = downloads({{"Setup.dmg", 6 * MB, 31 * kDay}, {"Recent.dmg", 6 * MB, 29 * kDay},
                                      {"Backup.tar.gz", 6 * MB, 40 * kDay}, {"tool.deb", 6 * MB, 40 * kDay},
                                      {"App.AppImage", 6 * MB, 40 * kDay}, {"movie.mkv", 6 * MB, 40 * kDay},
                                      {"small.zip", 4990000, 40 * kDay}, {".hidden.dmg", 6 * MB, 40 * kDay}});
    setModified(writeSparse(folder + "/sparse.iso", 60 * MB), ago(40 * kDay));  // no blocks on disk
    writeSparse(folder + "/folder.zip/inside", 6 * MB);
    setModified(folder + "/folder.zip", ago(40 * kDay));
    ASSERT_TRUE(QFile::setPermissions(folder + "/tool.deb", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    const auto findings = CleanupService::oldDownloadInstallers(folder, context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"App.AppImage", "Backup.tar.gz", "Setup.dmg", "tool.deb"}));
    for (const JunkFinding& finding : findings) {
        const bool program = finding.item.title == "App.AppImage" || finding.item.title == "tool.deb";
        EXPECT_EQ(finding.item.isSelected, !program) << finding.item.title.toStdString();
        EXPECT_EQ(finding.item.isSafeDefault, !program) << finding.item.title.toStdString();
        EXPECT_EQ(finding.item.seen, FileIdentity::of(finding.item.path));
    }
    EXPECT_GE(findings[2].item.size, 6 * MB);
    EXPECT_EQ(findings[2].item.detail,
              "Not modified since " + QLocale().toString(ago(31 * kDay).toLocalTime().date(), "MMM d, yyyy"));
}

// Each finding names the copy that stays, as it was when compared; files
// under the size floor are not looked at.
TEST_F(JunkSearches, DuplicatesNameTheCopyThatStaysAndStopAtTheirCaps) {
    writeFilled(home("Downloads/a.bin"), 3 * MB, 'a');
    writeFilled(home("Documents/a copy.bin"), 3 * MB, 'a');
    writeFilled(home("Documents/z/a again.bin"), 3 * MB, 'a');
    writeFilled(home("Downloads/small-1"), 1990000, 'd');
    writeFilled(home("Downloads/small-2"), 1990000, 'd');
    auto findings = CleanupService::findDuplicates({home("Downloads"), home("Documents")}, 25, context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"a copy.bin", "a again.bin"}));
    EXPECT_EQ(findings[0].item.detail, "Duplicate of ~/Downloads/a.bin");
    EXPECT_EQ(findings[0].item.category, CleanupCategory::duplicates);
    ASSERT_TRUE(findings[0].item.keptCopy);
    EXPECT_EQ(findings[0].item.keptCopy->path, home("Downloads/a.bin"));
    EXPECT_EQ(findings[0].item.keptCopy->seen, FileIdentity::of(home("Downloads/a.bin")));
    EXPECT_FALSE(findings[0].item.isSelected);

    // Twelve files of a group are hashed; with a cap, no further group is visited.
    const QString folder = makeDir(home("Many"));
    for (int i = 0; i < 20; ++i) writeFilled(folder + QStringLiteral("/big%1").arg(i, 2, 10, QLatin1Char('0')), 2100000, 'e');
    for (int i = 0; i < 5; ++i) writeFilled(folder + QStringLiteral("/next%1").arg(i), 2050000, 'f');
    findings = CleanupService::findDuplicates({folder}, 25, context());
    EXPECT_EQ(findings.size(), 11u + 4u);
    EXPECT_EQ(findings[0].item.detail, "Duplicate of ~/Many/big00");
    EXPECT_EQ(CleanupService::findDuplicates({folder}, 1, context()).size(), 11u);
}

}  // namespace
}  // namespace tarnwick::test
