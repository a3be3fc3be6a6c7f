#include "services/cleanup/JunkSearches.h"

#include "platform/FileReader.h"

#include "BundleTestSupport.h"
#include "JunkTestSupport.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using test::makeDir;
using test::setModified;
using test::titlesOf;
using test::writeFilled;
using test::writeSparse;

constexpr qint64 MB = 1000000;

class JunkSearches : public test::JunkTest {};

TEST_F(JunkSearches, BoundedSizeCountsTheFirstEntriesOnly) {
    const QString folder = home(QStringLiteral("many"));
    makeDir(folder);
    // One byte in 30,000 entries: names of one file (cheap to make), each counted as itself.
    const QByteArray base = PathCodec::encode(writeFilled(folder + QStringLiteral("/f0"), 1));
    for (int i = 1; i < 30000; ++i) {
        ASSERT_EQ(::link(base.constData(), (base + "-" + QByteArray::number(i)).constData()), 0);
    }
    EXPECT_EQ(CleanupService::directorySize(folder, 40000), 20000);
    EXPECT_EQ(CleanupService::directorySize(folder, 3000), 3000);
    EXPECT_EQ(CleanupService::directorySize(home(QStringLiteral("missing")), 10), 0);
}

TEST_F(JunkSearches, BoundedSizeCountsAPackageAsOneEntryAndDiskImagesByTheirBlocks) {
    const QString folder = home(QStringLiteral("sized"));
    writeSparse(folder + QStringLiteral("/Big.app/Contents/binary"), 50 * MB);
    writeSparse(folder + QStringLiteral("/.hidden"), 300);
    writeFilled(folder + QStringLiteral("/plain"), 700);
    EXPECT_EQ(CleanupService::directorySize(folder, 100), 1000);

    const QString image = writeSparse(home(QStringLiteral("vm/Docker.raw")), 64 * MB);
    writeFilled(home(QStringLiteral("vm/written")), MB);
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(1 << 20, 'd'));  // 1 MiB of the 64 MB actually written
    file.close();
    const qint64 sized = CleanupService::directorySize(image, 10);
    EXPECT_GE(sized, 1 << 20);
    EXPECT_LT(sized, 2 * MB);
    const QString other = writeSparse(home(QStringLiteral("vm/Docker.img")), 64 * MB);
    EXPECT_EQ(CleanupService::directorySize(other, 10), 64 * MB);
}

TEST_F(JunkSearches, IncompleteDownloadsLeaveOutWhatIsStillBeingWritten) {
    const QString downloads = home(QStringLiteral("Downloads"));
    struct Entry {
        const char* name;
        qint64 size;
        qint64 age;
    };
    for (const Entry& e : {Entry{"Setup.DMG.part", 50 * MB, 7200}, Entry{"small.crdownload", 90000, 7200},
                           Entry{"edge.tmp", 100000, 7200}, Entry{"over.tmp", 100001, 7200},
                           Entry{"writing.part", 50 * MB, 600}, Entry{"film.mkv", 50 * MB, 7200},
                           Entry{".hidden.part", 50 * MB, 7200}}) {
        setModified(writeSparse(downloads + QLatin1Char('/') + e.name, e.size), ago(e.age));
    }
    // A download package: the folder is old, one file in it is fresh.
    const QString package = downloads + QStringLiteral("/movie.mp4.download");
    setModified(writeSparse(package + QStringLiteral("/data"), 5 * MB), ago(60));
    setModified(package, ago(7200));

    const auto findings = CleanupService::incompleteDownloads(downloads, context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"Setup.DMG.part", "over.tmp"}));
    const CleanupItem& item = findings[0].item;
    EXPECT_EQ(item.path, downloads + QStringLiteral("/Setup.DMG.part"));
    EXPECT_EQ(item.detail, QStringLiteral("Incomplete download"));
    EXPECT_EQ(item.size, 50 * MB);
    EXPECT_EQ(item.category, CleanupCategory::temp);
    EXPECT_TRUE(item.isSelected && item.isSafeDefault);
    EXPECT_TRUE(CleanupService::incompleteDownloads(home(QStringLiteral("none")), context()).empty());
}

TEST_F(JunkSearches, UnusedLanguagesSkipEnglishAndBaseAndKeepTheirLimits) {
    const QString apps = root(QStringLiteral("/Applications"));
    const QString resources = apps + QStringLiteral("/Pages.app/Contents/Resources/");
    for (const char* bundle : {"fr.lproj", "en_GB.lproj", "Base.lproj", "English.lproj", "en-AU.lproj"}) {
        writeSparse(resources + bundle + QStringLiteral("/Localizable.strings"), 2 * MB);
    }
    writeSparse(resources + QStringLiteral("de.lproj/small.strings"), 1500000);  // not more than the threshold
    writeSparse(apps + QStringLiteral("Many.app/Contents/x"), 1);
    for (int i = 0; i < 10; ++i) {
        writeSparse(apps + QStringLiteral("/Many.app/Contents/Resources/l%1.lproj/a").arg(i), 2 * MB);
    }
    writeSparse(apps + QStringLiteral("/Notes.APP/Contents/Resources/fr.lproj/a"), 2 * MB);  // not "app" exactly

    auto findings = CleanupService::unusedLanguages(apps, context());
    QStringList titles = titlesOf(findings);
    ASSERT_EQ(titles.count(QStringLiteral("Pages · fr")), 1);
    EXPECT_EQ(titles.filter(QStringLiteral("Many · ")).size(), 8);
    EXPECT_EQ(titles.size(), 9);
    const CleanupItem& fr = findings[static_cast<size_t>(titles.indexOf(QStringLiteral("Pages · fr")))].item;
    EXPECT_EQ(fr.path, resources + QStringLiteral("fr.lproj"));
    EXPECT_EQ(fr.category, CleanupCategory::languages);
    EXPECT_FALSE(fr.isSelected || fr.isSafeDefault);

    // Only the first 40 entries of the folder are looked at, whatever they are.
    for (int i = 0; i < 40; ++i) makeDir(apps + QStringLiteral("/A%1").arg(i, 2, 10, QLatin1Char('0')));
    EXPECT_TRUE(CleanupService::unusedLanguages(apps, context()).empty());
}

TEST_F(JunkSearches, NamedFoldersAreFoundOnceAndNotEntered) {
    writeSparse(home(QStringLiteral("Projects/web/node_modules/react/index.js")), 300 * MB);
    writeSparse(home(QStringLiteral("Projects/web/node_modules/react/node_modules/x/big")), 300 * MB);
    // A small one is walked into; the ones inside it lie in a node_modules path.
    writeSparse(home(QStringLiteral("Projects/tool/node_modules/a.js")), 1 * MB);
    writeSparse(home(QStringLiteral("Projects/tool/node_modules/dep/node_modules/big")), 3 * MB);
    writeSparse(home(QStringLiteral("Projects/.hidden/node_modules/big")), 6 * MB);
    writeSparse(home(QStringLiteral("Projects/edge/node_modules/big")), 5 * MB);  // not more than 5,000,000
    writeSparse(home(QStringLiteral("Developer/api/node_modules/big")), 6 * MB);
    writeSparse(home(QStringLiteral("Documents/site/node_modules/big")), 6 * MB);

    const QStringList roots = {home(QStringLiteral("Projects")), home(QStringLiteral("Missing")),
                               home(QStringLiteral("Developer")), home(QStringLiteral("Projects")),
                               home(QStringLiteral("Documents"))};
    auto findings = CleanupService::findNamedDirectories(QStringLiteral("node_modules"), roots, CleanupCategory::node,
                                                         40, context());
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].item.path, home(QStringLiteral("Projects/web/node_modules")));
    EXPECT_EQ(findings[0].item.detail, QStringLiteral("~/Projects/web"));
    EXPECT_EQ(findings[0].item.title, QStringLiteral("node_modules"));
    EXPECT_EQ(findings[0].item.size, 600 * MB);  // its own node_modules inside count, and yield no finding
    EXPECT_EQ(findings[1].item.detail, QStringLiteral("~/Developer/api"));
    EXPECT_EQ(findings[2].item.detail, QStringLiteral("~/Documents/site"));

    // The limit counts across roots: a later root is not walked once it is reached.
    findings = CleanupService::findNamedDirectories(QStringLiteral("node_modules"), roots, CleanupCategory::node, 2,
                                                    context());
    EXPECT_EQ(findings.size(), 2u);
}

TEST(JunkLeftoverClaims, InstalledNamesClaimTheirOwnDataOnly) {
    const QSet<QString> installed = {QStringLiteral("editor"), QStringLiteral("x"), QStringLiteral("google chrome"),
                                     QStringLiteral("vlc")};
    struct Case {
        const char* entry;
        bool claimed;
    };
    for (const Case& c : {Case{"com.acme.editor", true}, Case{"Editor", true}, Case{"EditorData", true},
                          Case{"Google Chrome", true}, Case{"com.google.chrome.helper", false},
                          Case{"X", true}, Case{"com.example.x", true}, Case{"Xylophone", false},
                          Case{"Boxed", false}, Case{"vlc", true}, Case{"org.videolan.vlc", true},
                          Case{"vlcplayer", false}, Case{"com.acme.edi", false} /* a short token claims nothing */,
                          Case{"...", false}}) {
        EXPECT_EQ(CleanupService::isClaimedByInstalledApp(QString::fromUtf8(c.entry), installed), c.claimed) << c.entry;
    }
    // Installed identifiers claim their own entries, up to a "." or the end.
    const QSet<QString> identifiers = {QStringLiteral("com.google.Chrome")};
    for (const Case& c : {Case{"com.google.Chrome", true}, Case{"com.google.chrome.helper", true},
                          Case{"com.google.Chromecast", false}, Case{"com.google", false}}) {
        EXPECT_EQ(CleanupService::isClaimedByInstalledApp(QString::fromUtf8(c.entry), {}, identifiers), c.claimed)
            << c.entry;
    }
}

TEST_F(JunkSearches, LeftoversAreSupportFoldersNoInstalledAppClaims) {
    makeDir(root(QStringLiteral("/Applications/Editor.app")));
    makeDir(home(QStringLiteral("Applications/Paint.app")));
    test::writeBundle(root(QStringLiteral("/Applications")), QStringLiteral("Brush"),
                      {{"CFBundleIdentifier", "org.painting.studio"}});
    const QString support = home(QStringLiteral("Library/Application Support/"));
    for (const char* name : {"com.acme.editor", "Paint", "com.gone.viewer", "Mobile Documents", "com.apple.Safari",
                             "Tarnwick", ".hidden"}) {
        writeSparse(support + name + QStringLiteral("/data"), 25 * MB);
    }
    writeSparse(support + QStringLiteral("small/data"), 20 * MB);  // not more than 20,000,000
    writeSparse(home(QStringLiteral("Library/Containers/com.old.app/Data/x")), 30 * MB);
    writeSparse(home(QStringLiteral("Library/Containers/org.painting.studio.helper/Data/x")), 30 * MB);  // Brush's

    auto findings = CleanupService::findAppLeftovers(context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"com.gone.viewer", "com.old.app"}));
    EXPECT_EQ(findings[0].item.detail,
              QStringLiteral("No matching app in /Applications · ~/Library/Application Support/com.gone.viewer"));
    EXPECT_EQ(findings[0].item.category, CleanupCategory::leftovers);
    EXPECT_FALSE(findings[0].item.isSelected);

    for (int i = 0; i < 32; ++i) writeSparse(support + QStringLiteral("gone%1/x").arg(i, 2, 10, QLatin1Char('0')), 21 * MB);
    EXPECT_EQ(CleanupService::findAppLeftovers(context()).size(), 30u);
}

TEST_F(JunkSearches, OldInstallersAreOlderThanThirtyDaysAndLargerThanFiveMegabytes) {
    const QString downloads = home(QStringLiteral("Downloads"));
    const qint64 day = 86400;
    struct Entry {
        const char* name;
        qint64 bytes;
        qint64 age;
    };
    for (const Entry& e : {Entry{"Setup.dmg", 6 * MB, 31 * day}, Entry{"Recent.dmg", 6 * MB, 29 * day},
                           Entry{"Backup.tar.gz", 6 * MB, 40 * day}, Entry{"tool.deb", 6 * MB, 40 * day},
                           Entry{"App.AppImage", 6 * MB, 40 * day}, Entry{"movie.mkv", 6 * MB, 40 * day},
                           Entry{"small.zip", 4990000, 40 * day}, Entry{".hidden.dmg", 6 * MB, 40 * day}}) {
        setModified(writeFilled(downloads + QLatin1Char('/') + e.name, e.bytes), ago(e.age));
    }
    setModified(writeSparse(downloads + QStringLiteral("/sparse.iso"), 60 * MB), ago(40 * day));  // no blocks on disk
    writeSparse(downloads + QStringLiteral("/folder.zip/inside"), 6 * MB);
    setModified(downloads + QStringLiteral("/folder.zip"), ago(40 * day));
    // A program run from Downloads keeps its download date.
    ASSERT_TRUE(QFile::setPermissions(downloads + QStringLiteral("/tool.deb"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    const auto findings = CleanupService::oldDownloadInstallers(downloads, context());
    ASSERT_EQ(titlesOf(findings), (QStringList{"App.AppImage", "Backup.tar.gz", "Setup.dmg", "tool.deb"}));
    for (const JunkFinding& finding : findings) {
        const bool program = finding.item.title == "App.AppImage" || finding.item.title == "tool.deb";
        EXPECT_EQ(finding.item.isSelected, !program) << finding.item.title.toStdString();
        EXPECT_EQ(finding.item.isSafeDefault, !program) << finding.item.title.toStdString();
        EXPECT_EQ(finding.item.seen, FileIdentity::of(finding.item.path));
    }
    const CleanupItem& setup = findings[2].item;
    EXPECT_EQ(setup.path, downloads + QStringLiteral("/Setup.dmg"));
    EXPECT_GE(setup.size, 6 * MB);
    EXPECT_EQ(setup.category, CleanupCategory::downloads);
    EXPECT_TRUE(setup.isSelected && setup.isSafeDefault);
    const QDate date = ago(31 * day).toLocalTime().date();
    EXPECT_EQ(setup.detail, QStringLiteral("Not modified since ") + QLocale().toString(date, QStringLiteral("MMM d, yyyy")));
}

TEST_F(JunkSearches, DuplicatesNeedTheWholeContentAndSeparateFiles) {
    const QString downloads = home(QStringLiteral("Downloads"));
    const QString documents = home(QStringLiteral("Documents"));
    writeFilled(downloads + QStringLiteral("/a.bin"), 3 * MB, 'a');
    writeFilled(documents + QStringLiteral("/a copy.bin"), 3 * MB, 'a');
    writeFilled(documents + QStringLiteral("/z/a again.bin"), 3 * MB, 'a');
    // Equal in their first 256 KiB, different later.
    writeFilled(downloads + QStringLiteral("/same-start-1.bin"), 4 * MB, 'b', "1");
    writeFilled(downloads + QStringLiteral("/same-start-2.bin"), 4 * MB, 'b', "2");
    // A second name of one file is no copy of it.
    writeFilled(downloads + QStringLiteral("/linked.bin"), 5 * MB, 'c');
    ASSERT_EQ(::link(PathCodec::encode(downloads + QStringLiteral("/linked.bin")).constData(),
                     PathCodec::encode(documents + QStringLiteral("/linked-too.bin")).constData()),
              0);
    // Too small to be looked at.
    writeFilled(downloads + QStringLiteral("/small-1"), 1990000, 'd');
    writeFilled(downloads + QStringLiteral("/small-2"), 1990000, 'd');

    const quint64 readBefore = FileReader::totalBytesRead();
    const auto findings = CleanupService::findDuplicates({downloads, documents}, 25, context());
    const quint64 read = FileReader::totalBytesRead() - readBefore;
    ASSERT_EQ(titlesOf(findings), (QStringList{"a copy.bin", "a again.bin"}));
    EXPECT_EQ(findings[0].item.detail, QStringLiteral("Duplicate of ~/Downloads/a.bin"));
    EXPECT_EQ(findings[1].item.detail, QStringLiteral("Duplicate of ~/Downloads/a.bin"));
    EXPECT_EQ(findings[0].item.category, CleanupCategory::duplicates);
    // Each names the copy that stays, as it was when compared.
    ASSERT_TRUE(findings[0].item.keptCopy);
    EXPECT_EQ(findings[0].item.keptCopy->path, downloads + QStringLiteral("/a.bin"));
    EXPECT_EQ(findings[0].item.keptCopy->seen, FileIdentity::of(downloads + QStringLiteral("/a.bin")));
    EXPECT_FALSE(findings[0].item.isSelected);
    EXPECT_GE(findings[0].item.size, 3 * MB);
    // Each candidate was read once: the three copies whole, the two that
    // only start alike whole as well (to tell them apart), nothing else.
    EXPECT_EQ(read, static_cast<quint64>(3 * 3 * MB + 2 * 4 * MB));
}

TEST_F(JunkSearches, DuplicateGroupsHashTwelveFilesAndStopAtTheCap) {
    const QString downloads = home(QStringLiteral("Downloads"));
    for (int i = 0; i < 20; ++i) writeFilled(downloads + QStringLiteral("/big%1").arg(i, 2, 10, QLatin1Char('0')), 2100000, 'e');
    for (int i = 0; i < 5; ++i) writeFilled(downloads + QStringLiteral("/next%1").arg(i), 2050000, 'f');
    auto findings = CleanupService::findDuplicates({downloads}, 25, context());
    EXPECT_EQ(findings.size(), 11u + 4u);
    EXPECT_EQ(findings[0].item.title, QStringLiteral("big01"));
    EXPECT_EQ(findings[0].item.detail, QStringLiteral("Duplicate of ~/Downloads/big00"));
    // Cap 3: the largest group runs whole and no further group is visited.
    findings = CleanupService::findDuplicates({downloads}, 1, context());
    EXPECT_EQ(findings.size(), 11u);
}

}  // namespace
}  // namespace tarnwick
