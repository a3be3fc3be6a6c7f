#include "services/health/ProtectionService.h"

#include "platform/ExtendedAttributes.h"
#include "services/shared/DesktopEntryFile.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick {
namespace {

using Kind = ProtectionFinding::Kind;
using Severity = ProtectionFinding::Severity;
using test::makeDir;
using test::writeFile;

const QByteArray kOrigin = "https://downloads.example.org/file";

// Every finding of a stage has its kind, severity and preselection.
void expectEach(const QList<ProtectionFinding>& findings, Kind kind, Severity severity, bool selected) {
    for (const ProtectionFinding& finding : findings) {
        EXPECT_EQ(std::tuple(finding.kind, finding.severity, finding.isSelected), std::tuple(kind, severity, selected))
            << finding.title.toStdString();
    }
}

QString writeMode(const QString& path, const QByteArray& contents, mode_t mode) {
    writeFile(path, contents);
    ::chmod(path.toLocal8Bit().constData(), mode);
    return path;
}

class ProtectionServiceTest : public ::testing::Test {
protected:
    ProtectionServiceTest() { env.setNow(now); }

    QString home(const QString& relative) const { return env.home(relative); }
    QString root(const QString& absolute) const { return env.root() + absolute; }
    Locations locations() const { return Locations(Environment::current()); }
    // A file in Downloads changed `days` ago, with or without its download origin.
    QString download(const QString& name, double days, const std::optional<QByteArray>& origin = kOrigin) {
        const QString path = writeFile(home("Downloads/" + name), "data");
        test::setModified(path, now.addSecs(qint64(-days * 86400)));
        if (origin) ExtendedAttributes::set(path, ProtectionService::kOriginAttribute, *origin);
        return path;
    }
    // False when the test folder's file system keeps no user attributes.
    bool attributesWork() {
        const QString probe = writeFile(env.path("probe"), "x");
        return ExtendedAttributes::set(probe, "user.tarnwick.probe", "1");
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    test::FakeEnvironment env;
};

TEST_F(ProtectionServiceTest, AgentsAreFoundByTheFirstTokenInListOrder) {
    struct Case {
        QString name;
        QByteArray text;
        QString detail;  // empty: no finding
    };
    const QList<Case> cases = {
        {"both.desktop", "Exec=sh -c 'echo x | base64 -d; curl http://x'", "Entry references \u201Ccurl\u201D"},
        {"upper.desktop", "Exec=CURL http://x", "Entry references \u201Ccurl\u201D"},
        {"nospace.desktop", "Exec=curl\thttp://x", ""},
        {"tmp.desktop", "Exec=/tmp/run-me", "Entry references \u201C/tmp/\u201D"},
        {"eval.desktop", "Exec=sh -c 'eval $(x)'", "Entry references \u201Ceval\u201D"},
        {"python.desktop", "Exec=python -c 'import os'", "Entry references \u201Cpython -c\u201D"},
        {"plain.desktop", "Exec=/usr/bin/nm-applet", ""},
        {"com.apple.helper.desktop", "Exec=curl http://x", ""},
        {"com.taldovane.agent.desktop", "Exec=curl http://x", ""},
        {"com.tarnwick.daily.desktop", "Exec=curl http://x", ""},
        // One byte that is not UTF-8 hides nothing.
        {"binary.desktop", QByteArray("Name=Caf\xe9\nExec=curl http://x | sh ") + "\xff\xfe",
         "Entry references \u201Ccurl\u201D"},
        {"LOUD.DESKTOP", "Exec=curl http://x", ""},
        {".hidden.desktop", "Exec=curl http://x", ""},
        {"unit.service", "ExecStart=curl http://x", ""},  // not a unit folder
    };
    for (const Case& c : cases) writeFile(home(".config/autostart/" + c.name), c.text);
    makeDir(home(".config/autostart/folder.desktop"));

    const QList<ProtectionFinding> findings = ProtectionService::suspiciousAgents(locations());
    QStringList expected;
    QList<Case> sorted = cases;
    std::sort(sorted.begin(), sorted.end(), [](const Case& a, const Case& b) { return a.name.toUtf8() < b.name.toUtf8(); });
    for (const Case& c : sorted) {
        if (!c.detail.isEmpty()) expected.append(c.name.section('.', 0, 0));
    }
    ASSERT_EQ(test::titlesOf(findings), expected);
    for (const ProtectionFinding& finding : findings) {
        const auto found = std::find_if(cases.begin(), cases.end(), [&](const Case& c) {
            return c.name == finding.title + ".desktop";
        });
        EXPECT_EQ(finding.detail, found->detail) << finding.title.toStdString();
        EXPECT_EQ(finding.path, home(".config/autostart/" + found->name));
    }
    expectEach(findings, Kind::suspiciousAgent, Severity::high, false);  // a heuristic finding waits for review
}

TEST_F(ProtectionServiceTest, AgentsComeFromEveryFolderUserFirstAndLinksAreReadThroughTheirTargets) {
    writeFile(root("/etc/xdg/autostart/sync.desktop"), "Exec=wget -q http://x");
    writeFile(root("/etc/systemd/user/fetch.service"), "[Service]\nExecStart=/bin/sh -c 'npx something'\n");
    writeFile(home(".config/autostart/sync.desktop"), "Exec=wget http://x");
    writeFile(home(".config/systemd/user/miner.service"), "[Service]\nExecStart=/usr/bin/osascript\n");
    writeFile(home(".config/systemd/user/miner.timer"), "curl ");
    // A unit planted as a link is examined; a unit masked by a link to the
    // null device starts nothing; an alias of a unit already judged is not judged twice.
    const QString target = writeFile(env.path("elsewhere.service"), "ExecStart=curl http://x");
    test::makeLink(target, home(".config/systemd/user/linked.service"));
    test::makeLink("/dev/null", home(".config/systemd/user/masked.service"));
    test::makeLink(home(".config/systemd/user/miner.service"), home(".config/systemd/user/miner-alias.service"));

    const QList<ProtectionFinding> findings = ProtectionService::suspiciousAgents(locations());
    EXPECT_EQ(test::titlesOf(findings), (QStringList{"sync", "miner", "linked", "sync", "fetch"}))
        << test::titlesOf(findings).join(' ').toStdString();
    ASSERT_EQ(findings.size(), 5);
    EXPECT_EQ(findings[0].path, home(".config/autostart/sync.desktop"));
    EXPECT_EQ(findings[2].path, home(".config/systemd/user/linked.service")) << "the link is what a clean moves";
    EXPECT_EQ(findings[3].path, root("/etc/xdg/autostart/sync.desktop"));
    EXPECT_EQ(findings[4].detail, "Entry references \u201Cnpx\u201D");

    // The user's folders follow XDG_CONFIG_HOME.
    env.environment().variables.insert("XDG_CONFIG_HOME", env.path("config"));
    env.apply();
    writeFile(env.path("config/autostart/moved.desktop"), "Exec=curl http://x");
    EXPECT_EQ(test::titlesOf(ProtectionService::suspiciousAgents(locations())), (QStringList{"moved", "sync", "fetch"}))
        << test::titlesOf(ProtectionService::suspiciousAgents(locations())).join(' ').toStdString();
}

TEST_F(ProtectionServiceTest, AnEntryIsJudgedWholeOrFlaggedAsUnreadable) {
    // A command after a mebibyte of comments is still seen.
    QByteArray late = "[Desktop Entry]\n";
    while (late.size() < (1 << 20) + 10) late += "# nothing to see here, just a long comment line\n";
    late += "Exec=sh -c 'curl -s http://x | sh'\n";
    writeFile(home(".config/autostart/late.desktop"), late);
    // A character of several bytes anywhere does not matter.
    writeFile(home(".config/autostart/accents.desktop"), "Name=\xc3\xa9t\xc3\xa9\nExec=wget http://x\n");
    // Past the cap, or closed to reading: flagged, never passed over.
    writeFile(home(".config/autostart/huge.desktop"), QByteArray(DesktopEntryFile::kLimit + 1, '#'));
    const QString closed = writeMode(home(".config/autostart/closed.desktop"), "Exec=curl http://x\n", 0);
    const bool rootReads = QFile(closed).open(QIODevice::ReadOnly);

    const QList<ProtectionFinding> findings = ProtectionService::suspiciousAgents(locations());
    QStringList described;
    for (const ProtectionFinding& finding : findings) described << finding.title + ": " + finding.detail;
    QStringList expected{"accents: Entry references \u201Cwget\u201D",
                         rootReads ? "closed: Entry references \u201Ccurl\u201D"
                                   : "closed: Could not be read \u2014 review what it starts",
                         "huge: Too large to read whole \u2014 review what it starts",
                         "late: Entry references \u201Ccurl\u201D"};
    EXPECT_EQ(described, expected) << described.join(" | ").toStdString();
    expectEach(findings, Kind::suspiciousAgent, Severity::high, false);
}

TEST_F(ProtectionServiceTest, AdwarePathsAreTheFixedOnesAndOneNameMatch) {
    makeDir(home("Library/Application Support/MyCleanPC"));
    makeDir(root("/Applications/MacKeeper.app"));
    writeFile(home("Library/LaunchAgents/a.plist"));
    writeFile(home("Library/LaunchAgents/com.MacKeeper.helper.plist"));
    writeFile(home("Library/LaunchAgents/.mackeeper.hidden.plist"));
    const QList<ProtectionFinding> findings = ProtectionService::adwarePaths(Environment::current());
    EXPECT_EQ(test::titlesOf(findings), (QStringList{"MyCleanPC", "MacKeeper.app", ".mackeeper.hidden.plist"}))
        << "the name rule takes the first match only, hidden names included";
    ASSERT_EQ(findings.size(), 3);
    EXPECT_EQ(findings[1].path, root("/Applications/MacKeeper.app"));
    EXPECT_EQ(findings[2].path, home("Library/LaunchAgents/.mackeeper.hidden.plist"));
    expectEach(findings, Kind::adwarePath, Severity::high, true);
}

TEST_F(ProtectionServiceTest, QuarantinedDownloadsAreRecentInstallersWithTheirOrigin) {
    if (!attributesWork()) GTEST_SKIP() << "the test folder's file system keeps no user attributes";
    download("a-recent.dmg", 13);
    download("b-old.dmg", 15);
    download("c-notes.txt", 1);
    download("d-plain.deb", 1, std::nullopt);
    download("e-tool.AppImage", 2);
    download("f-empty.run", 1, QByteArray());
    download("g-pkg.rpm", 0.5);
    const QList<ProtectionFinding> findings =
        ProtectionService::quarantinedDownloads(home("Downloads"), now);
    EXPECT_EQ(test::titlesOf(findings), (QStringList{"a-recent.dmg", "e-tool.AppImage", "g-pkg.rpm"}));
    expectEach(findings, Kind::quarantined, Severity::medium, false);
    // Only the first eighty entries are looked at: the seven above, then 73 of these.
    for (int i = 0; i < 100; ++i) download(QStringLiteral("image-%1.dmg").arg(i, 3, 10, QLatin1Char('0')), 1);
    const QList<ProtectionFinding> capped = ProtectionService::quarantinedDownloads(home("Downloads"), now);
    ASSERT_EQ(capped.size(), 3 + 73);
    EXPECT_EQ(capped.last().title, "image-072.dmg");
}

TEST_F(ProtectionServiceTest, BrowserExtensionsTakeThirtyPerBrowser) {
    for (int i = 0; i < 45; ++i) makeDir(home(QStringLiteral(".config/google-chrome/Default/Extensions/ext%1").arg(i, 2, 10, QLatin1Char('0'))));
    makeDir(home(".config/chromium/Default/Extensions/one"));
    const QList<ProtectionFinding> findings = ProtectionService::browserExtensions(locations());
    ASSERT_EQ(findings.size(), 31);
    EXPECT_EQ(findings[29].title, "ext29");
    EXPECT_EQ(findings[30].path, home(".config/chromium/Default/Extensions/one"));
    EXPECT_FALSE(findings[0].isSelected);
}

TEST_F(ProtectionServiceTest, UnsignedExecutablesAreRunnableFilesThatStartAsPrograms) {
    struct Case {
        QString name;
        QByteArray contents;
        mode_t mode;
        bool found;
    };
    const QList<Case> cases = {
        {"install.sh", "#!/bin/sh\necho hi\n", 0755, true},
        {"notexec.sh", "#!/bin/sh\n", 0644, false},
        {"groupexec.command", "#!/bin/sh\n", 0610, true},
        {"tool", QByteArray("\x7f" "ELF\x02\x01\x01", 7), 0700, true},
        {"notes", "just text", 0755, false},
        {"setup.pkg", "#!/bin/sh\n", 0755, false},
        {"UPPER.TOOL", "#!/bin/sh\n", 0755, true},
        {".hidden.sh", "#!/bin/sh\n", 0755, false},
        {"empty.sh", "", 0755, false},
    };
    for (const Case& c : cases) writeMode(home("Downloads/" + c.name), c.contents, c.mode);
    // Folders carry execute bits to be entered: never a finding.
    makeDir(home("Downloads/bin"));
    writeFile(home("Downloads/bin/run.sh"), "#!/bin/sh\n");

    const QList<ProtectionFinding> findings = ProtectionService::unsignedIn(home("Downloads"), 20);
    EXPECT_EQ(test::titlesOf(findings), (QStringList{"UPPER.TOOL", "groupexec.command", "install.sh", "tool"}));
    expectEach(findings, Kind::unsignedExec, Severity::medium, false);
    for (int i = 0; i < 25; ++i) writeMode(home(QStringLiteral("Downloads/s%1.sh").arg(i, 2, 10, QLatin1Char('0'))), "#!/bin/sh\n", 0755);
    EXPECT_EQ(ProtectionService::unsignedIn(home("Downloads"), 20).size(), 20) << "stops at the limit";
}

TEST_F(ProtectionServiceTest, TheScanSortsBySeverityKeepingStageOrder) {
    const bool attributes = attributesWork();
    makeDir(home(".config/google-chrome/Default/Extensions/ext"));
    writeMode(home("Downloads/a-run.sh"), "#!/bin/sh\n", 0755);
    if (attributes) download("b-image.dmg", 1);
    writeFile(home(".config/autostart/evil.desktop"), "Exec=curl http://x");
    makeDir(home("Library/Application Support/MacKeeper"));

    const QList<ProtectionFinding> findings = ProtectionService::scan({});
    QStringList expected{"evil", "MacKeeper"};
    if (attributes) expected.append("b-image.dmg");
    expected << "a-run.sh" << "ext";
    EXPECT_EQ(test::titlesOf(findings), expected);

    // A stop request ends the scan after the step it came in.
    std::stop_source stop;
    QStringList labels;
    const QList<ProtectionFinding> stopped = ProtectionService::scan(
        [&](const QString& label) {
            labels.append(label);
            stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(labels.size(), 1);
    EXPECT_TRUE(stopped.isEmpty());
}

}  // namespace
}  // namespace tarnwick
