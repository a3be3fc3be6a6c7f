#include "services/health/PerformanceService.h"

#include "services/care/VidurAdedService.h"
#include "services/shared/DesktopEntryFile.h"

#include "FileTreeSupport.h"
#include "ProcStatLines.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <limits>

#include <sys/mount.h>
#include <unistd.h>

using namespace tarnwick;
using Kind = PerformanceItem::Kind;

namespace {

QList<PerformanceItem> ofKind(const QList<PerformanceItem>& items, Kind kind) {
    QList<PerformanceItem> result;
    for (const PerformanceItem& item : items) {
        if (item.kind == kind) result << item;
    }
    return result;
}

// The finder over a fake root: stat files for the processes, autostart and
// unit folders, and tools that are scripts.
class PerformanceFinderTest : public ::testing::Test {
protected:
    void process(qint32 pid, const QByteArray& name, quint64 flags = 0x400100, quint64 start = 777, char state = 'S',
                 quint32 owner = ::geteuid()) {
        test::writeFile(env.root() + QStringLiteral("/proc/%1/stat").arg(pid),
                        test::statLine(pid, name, flags, start, state));
        test::writeFile(env.root() + QStringLiteral("/proc/%1/status").arg(pid), test::statusLines(name, owner));
    }
    QList<PerformanceItem> processes(const QByteArray& output, int limit = 18) const {
        return PerformanceService::processItems(output, env.root(), limit);
    }
    QString home(const QString& relative) const { return env.home(relative); }
    QString root(const QString& relative) const { return env.root() + QLatin1Char('/') + relative; }
    // A systemctl that records its arguments, one per line, and exits with status.
    QString fakeSystemctl(int status = 0) {
        const QString log = env.path(QStringLiteral("systemctl.log"));
        env.tool("/usr/bin/systemctl", "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log.toUtf8() + "'; done\nexit " +
                                           QByteArray::number(status) + "\n");
        return log;
    }
    // An autostart entry that starts, with extra lines in its group.
    static QString entry(const QString& path, const QByteArray& extra = {}) {
        return test::writeFile(path, "[Desktop Entry]\nType=Application\nExec=/usr/bin/true\n" + extra);
    }
    QStringList loginTitles() const {
        QStringList result;
        for (const PerformanceItem& item : ofKind(PerformanceService::scan({}), Kind::loginItem)) {
            result << item.title + QLatin1Char('@') + (item.path->startsWith(env.home()) ? "user" : "system");
        }
        return result;
    }
    static QStringList lines(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    test::FakeEnvironment env;
};

}  // namespace

TEST_F(PerformanceFinderTest, ProcessesAreRankedByTwiceTheCpuPlusTheMemory) {
    process(10, "builder");
    process(11, "indexer");
    process(12, "Web Content");
    process(13, "same-a");
    process(14, "same-b");
    const QList<PerformanceItem> items = processes(
        "   11 10.0 80.0  2048 indexer\n"
        "   13  1.0  1.0  1024 same-a\n"
        "   10 50.0  1.0 524288 /usr/lib/builder/builder\n"
        "   12  5.0  2.5  3072 Web    Content\n"
        "   14  1.0  1.0  1024 same-b\n");
    ASSERT_EQ(test::titlesOf(items), QStringList({"builder", "indexer", "Web Content", "same-a", "same-b"}))
        << "key 101 above key 100; equal keys keep the listing's order; a path gives its last part";
    const PerformanceItem& top = items.front();
    EXPECT_EQ(top.metric, "50% CPU \u00B7 1.0% MEM \u00B7 512 MB");
    EXPECT_EQ(top.pid, 10);
    EXPECT_TRUE(top.canQuit);
    EXPECT_FALSE(top.canDisable());
    EXPECT_EQ(top.identity, (ProcessIdentity{"builder", 777})) << "the identity comes from the stat file";
}

TEST_F(PerformanceFinderTest, LeavesOutWhatCannotOrMustNotBeQuit) {
    process(2, "kthreadd", 0x208040);
    process(20, "Tarnwick");
    process(21, "TARNWICK");
    process(22, "taldovane");
    process(23, "Tarnwick Agent");
    process(24, "ps");
    process(25, "PS");
    process(26, "kernel_task");
    process(27, "defunct", 0x400100, 777, 'Z');
    process(29, "huge");
    process(30, "editor");
    const QByteArray max = QByteArray::number(std::numeric_limits<qint64>::max() / 1024);
    const QList<PerformanceItem> items = processes(
        "    2 90.0 0.0 0 kthreadd\n"
        "   20 80.0 1.0 10 Tarnwick\n"
        "   21 80.0 1.0 10 TARNWICK\n"
        "   22 80.0 1.0 10 taldovane\n"
        "   23 70.0 1.0 10 Tarnwick Agent\n"
        "   24 60.0 1.0 10 ps\n"
        "   25 60.0 1.0 10 PS\n"
        "   26 60.0 1.0 10 kernel_task\n"
        "   27 60.0 1.0 10 defunct\n"
        "   28 55.0 1.0 10 gone\n"
        "   29 50.0 1.0 " + max + " huge\n"
        "   29 50.0 1.0 " + max + "1 huge\n"
        "   30 40.0 1.0 -5 editor\n"
        "   30 4,0 1.0 5 editor\n"
        "   30 abc 1.0 5 editor\n"
        "   30 40.0 1e1 5 editor\n"
        "   30 40. 1.0 5 editor\n"
        "   30 40.0 1.0 5.5 editor\n"
        "  x30 40.0 1.0 5 editor\n"
        "   30 40.0 1.0 5\n"
        "\n"
        "   30 1.0 2.0 5 editor\n");
    EXPECT_EQ(test::titlesOf(items), QStringList({"Tarnwick Agent", "PS", "huge", "editor"}))
        << "own names, ps, kernel_ names, kernel threads, exited and vanished processes and bad lines are left out";
    EXPECT_TRUE(items[2].metric.endsWith("8 EB")) << "the largest size that fits is kept: " << items[2].metric.toStdString();
}

TEST_F(PerformanceFinderTest, QuitIsOfferedOnlyForTheUsersOwnProcesses) {
    process(1, "init");
    process(50, "own-editor");
    process(51, "root-daemon", 0x400100, 777, 'S', ::geteuid() + 1);
    process(static_cast<qint32>(::getpid()), "renamed-self");
    process(53, "no-status");
    QFile::remove(env.root() + "/proc/53/status");
    const QList<PerformanceItem> items = processes("    1 9.0 1.0 10 init\n"
                                                   "   50 8.0 1.0 10 own-editor\n"
                                                   "   51 7.0 1.0 10 root-daemon\n" +
                                                   QByteArray::number(::getpid()) + " 6.0 1.0 10 renamed-self\n"
                                                   "   53 5.0 1.0 10 no-status\n");
    ASSERT_EQ(test::titlesOf(items), QStringList({"init", "own-editor", "root-daemon", "renamed-self", "no-status"}));
    const bool expected[] = {false, true, false, false, false};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(items[i].canQuit, expected[i]) << items[i].title.toStdString();
}

TEST_F(PerformanceFinderTest, ScansProcessesThenLoginItemsThenAgentsAndDaemons) {
    env.tool("/usr/bin/ps", "[ \"$LC_ALL\" = C ] || exit 3\n"
                            "[ \"$*\" = '-e -o pid=,pcpu=,pmem=,rss=,comm=' ] || exit 4\n"
                            "echo '  40 12.0 3.0 2048 player'\n");
    process(40, "player");

    // Only entries named *.desktop count, hidden and the desktop's own left out.
    for (const char* name : {"zeta.desktop", "alpha.desktop", "Mid.desktop", "org.gnome.Shell.desktop", ".hidden.desktop",
                             "notes.txt", "upper.DESKTOP"}) {
        entry(home(".config/autostart/") + name);
    }
    test::makeDir(home(".config/autostart/folder.desktop"));
    test::makeLink(entry(root("usr/share/applications/chat.desktop")), home(".config/autostart/chat.desktop"));
    entry(root("etc/xdg/autostart/beta.desktop"));
    for (const char* vendor : {"org.freedesktop.x", "org.kde.y", "gnome-keyring-ssh", "at-spi-dbus-bus", "xdg-user-dirs"}) {
        entry(root(QStringLiteral("etc/xdg/autostart/%1.desktop").arg(vendor)));
    }

    test::writeFile(home(".config/systemd/user/sync.service"));
    test::writeFile(home(".config/systemd/user/backup.timer"));
    test::makeDir(home(".config/systemd/user/default.target.wants"));
    test::makeLink(QStringLiteral("/dev/null"), home(".config/systemd/user/masked.service"));
    test::writeFile(root("etc/systemd/user/sync.service"));  // listed once, from the user's folder
    // A label is listed once across the folders (mpd); the vendor's own are left out.
    for (const char* unit : {"user/mpd", "system/mpd", "system/printer", "system/org.freedesktop.z"}) {
        test::writeFile(root("etc/systemd/") + unit + ".service");
    }
    test::makeLink(root("usr/lib/systemd/system/sshd.service"), root("etc/systemd/system/sshd.service"));

    const QList<PerformanceItem> items = PerformanceService::scan({});
    EXPECT_EQ(test::titlesOf(items), QStringList({"player", "alpha", "beta", "chat", "Mid", "zeta", "sync", "mpd", "printer"}))
        << "processes, login items by title without regard to case, then units in folder order";

    const QList<PerformanceItem> login = ofKind(items, Kind::loginItem);
    ASSERT_EQ(login.size(), 5);
    EXPECT_EQ(login[0].path, home(".config/autostart/alpha.desktop"));
    EXPECT_FALSE(login[0].canQuit);
    EXPECT_TRUE(login[0].canDisable());
    EXPECT_EQ(login[4].path, home(".config/autostart/zeta.desktop"));

    const QList<PerformanceItem> agents = ofKind(items, Kind::launchAgent);
    ASSERT_EQ(agents.size(), 2);
    EXPECT_EQ(agents[0].path, home(".config/systemd/user/sync.service"));
    const QList<PerformanceItem> daemons = ofKind(items, Kind::launchDaemon);
    ASSERT_EQ(daemons.size(), 1);
    EXPECT_EQ(daemons[0].path, root("etc/systemd/system/printer.service"));
    EXPECT_FALSE(daemons[0].pid);
}

TEST_F(PerformanceFinderTest, WithoutPsOrFoldersTheScanFindsNothingAndAStopEndsIt) {
    EXPECT_TRUE(PerformanceService::scan({}).isEmpty());
    QStringList labels;
    std::stop_source stop;
    stop.request_stop();
    PerformanceService::scan([&](const QString& label) { labels << label; }, stop.get_token());
    EXPECT_EQ(labels.size(), 1) << "a stop request ends the scan before its next listing";
}

// Only what actually starts at login is a login item, as the autostart
// standard reads the entries: switched off, shadowed by the user's entry,
// meant for another desktop, or without its program, it is not listed (nor
// counted in the health score).
TEST_F(PerformanceFinderTest, LoginItemsAreTheEntriesThatActuallyStart) {
    env.environment().variables.insert("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    env.environment().variables.insert("PATH", "/usr/local/bin:/usr/bin");
    env.apply();
    test::writeScript(root("usr/bin/present-tool"), "exit 0\n");
    const QString user = home(".config/autostart/");
    const QString system = root("etc/xdg/autostart/");

    entry(user + "plain.desktop");
    entry(user + "hidden.desktop", "Hidden=true\n");
    entry(user + "gnome-off.desktop", "X-GNOME-Autostart-enabled=false\n");
    entry(user + "switch-on.desktop", "X-GNOME-Autostart-enabled=true\n");
    entry(user + "no-exec.desktop", "Exec=\n");
    entry(system + "switched-off.desktop");  // the user's hidden entry of the same name wins
    entry(user + "switched-off.desktop", "Hidden=true\n");
    entry(system + "kept.desktop", "Hidden=true\n");  // the user's own entry of the name starts
    entry(user + "kept.desktop");
    entry(system + "for-kde.desktop", "OnlyShowIn=KDE;XFCE;\n");
    entry(system + "for-gnome.desktop", "OnlyShowIn=KDE;GNOME;\n");
    entry(system + "not-gnome.desktop", "NotShowIn=GNOME;\n");
    entry(system + "not-kde.desktop", "NotShowIn=KDE;\n");
    entry(system + "missing-tool.desktop", "TryExec=absent-tool\n");
    entry(system + "found-tool.desktop", "TryExec=present-tool\n");
    entry(system + "absolute-tool.desktop", "TryExec=/usr/bin/present-tool\n");
    // A byte that is not UTF-8 does not hide the switch; a link is read through its target.
    entry(user + "latin1.desktop", "Name=Caf\xe9\nHidden=true\n");
    test::makeLink(entry(home("elsewhere/off.desktop"), "Hidden=true\n"), user + "linked-off.desktop");
    test::makeLink(home("nowhere.desktop"), user + "dangling.desktop");
    // Too large to read whole: nothing shows it does not start.
    test::writeFile(user + "huge.desktop", "[Desktop Entry]\nExec=x\n" + QByteArray(9 << 20, '#'));

    const QStringList expected{"absolute-tool@system", "for-gnome@system", "found-tool@system", "huge@user",
                               "kept@user",            "not-kde@system",   "plain@user",        "switch-on@user"};
    EXPECT_EQ(loginTitles(), expected) << loginTitles().join(' ').toStdString();

    // Another desktop sees other entries; with none named, OnlyShowIn keeps an entry off.
    env.environment().variables.insert("XDG_CURRENT_DESKTOP", "KDE");
    env.apply();
    EXPECT_TRUE(loginTitles().contains("for-kde@system"));
    EXPECT_FALSE(loginTitles().contains("not-kde@system"));
    env.environment().variables.remove("XDG_CURRENT_DESKTOP");
    env.apply();
    EXPECT_FALSE(loginTitles().contains("for-gnome@system"));
    EXPECT_TRUE(loginTitles().contains("not-gnome@system"));

    // The health score counts the same items.
    EXPECT_EQ(VidurAdedService::launchItemCount(PerformanceService::scan({})), loginTitles().size());
}

// A login item reads as its entry names it, in the user's language where the
// entry has one; the file name shows only where the entry names nothing. A
// service keeps its file name.
TEST_F(PerformanceFinderTest, LoginItemsAreTitledByTheirEntrysLocalisedName) {
    const QString user = home(".config/autostart/");
    entry(user + "my-sleeper.desktop", "Name=My Sleeper\n");
    entry(root("etc/xdg/autostart/tw-probe-sys.desktop"),
          "Name=Probe System Agent\nName[de]=Pr\xc3\xbc" "fdienst\nName[de_AT]=Pr\xc3\xbc" "fer\n"
          "Name[sr@latin]=Sonda\nName[sr_RS@latin]=Sonda RS\n");
    entry(user + "unnamed.desktop");
    entry(user + "blank.desktop", "Name=  \n");
    entry(user + "lines.desktop", "Name=Two\\nLines\n[Other Group]\nName=Not This\n");
    test::writeFile(home(".config/systemd/user/sync.service"), "[Unit]\nDescription=Sync Daemon\n");

    EXPECT_EQ(loginTitles(), QStringList({"blank@user", "My Sleeper@user", "Probe System Agent@system",
                                          "Two Lines@user", "unnamed@user"}))
        << "sorted by the names shown; " << loginTitles().join(' ').toStdString();
    EXPECT_EQ(test::titlesOf(ofKind(PerformanceService::scan({}), Kind::launchAgent)), QStringList({"sync"}));

    auto probeIn = [&](QList<std::pair<QString, QString>> variables) {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) env.environment().variables.remove(name);
        for (const auto& [name, value] : variables) env.environment().variables.insert(name, value);
        env.apply();
        for (const QString& title : loginTitles()) {
            if (title.endsWith("@system")) return title.chopped(7);
        }
        return QString();
    };
    EXPECT_EQ(probeIn({{"LANG", "de_DE.UTF-8"}}), "Pr\u00FCfdienst");
    EXPECT_EQ(probeIn({{"LANG", "de_AT.UTF-8"}}), "Pr\u00FCfer");
    EXPECT_EQ(probeIn({{"LANG", "sr_RS.UTF-8@latin"}}), "Sonda RS");
    EXPECT_EQ(probeIn({{"LANG", "sr_ME@latin"}}), "Sonda");
    EXPECT_EQ(probeIn({{"LANG", "fr_FR.UTF-8"}}), "Probe System Agent");
    EXPECT_EQ(probeIn({{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}}), "Pr\u00FCfdienst");
    EXPECT_EQ(probeIn({{"LC_MESSAGES", "de_DE.UTF-8"}, {"LC_ALL", "C"}}), "Probe System Agent");

    // The result names it as the list did.
    const PerformanceItem sleeper = ofKind(PerformanceService::scan({}), Kind::loginItem)[1];
    ASSERT_EQ(sleeper.title, "My Sleeper");
    EXPECT_EQ(PerformanceService::disableAgent(*sleeper.path, {}, sleeper.title).text, "Disabled My Sleeper");
}

// The language is the one the program was started in: the process's own
// variables, read as the program reads them at start.
TEST_F(PerformanceFinderTest, LoginItemsAreNamedInTheLanguageOfTheProcess) {
    const QString backup = entry(home(".config/autostart/backup.desktop"),
                                 "Name=Backup Agent\nName[de]=Sicherungsdienst\n");
    using Value = std::optional<QByteArray>;
    auto titleWith = [&](Value all, Value messages, Value lang) {
        const test::ProcessVariable h("HOME", QFile::encodeName(env.home())), c("XDG_CONFIG_HOME", {}),
            a("LC_ALL", all), m("LC_MESSAGES", messages), l("LANG", lang);
        Environment started = Environment::system();
        started.rootPrefix = env.root();  // the machine's own entries stay out of it
        const Environment::Scope scope(started);
        const QList<PerformanceItem> items = ofKind(PerformanceService::scan({}), Kind::loginItem);
        const PerformanceItem* item = test::byPath(items, backup);
        return item ? item->title : QStringLiteral("(not listed)");
    };
    EXPECT_EQ(titleWith({}, {}, "de_DE.UTF-8"), "Sicherungsdienst");
    EXPECT_EQ(titleWith("", "", "de_DE.UTF-8"), "Sicherungsdienst") << "empty values count as unset";
    EXPECT_EQ(titleWith({}, "de_DE.UTF-8", "fr_FR.UTF-8"), "Sicherungsdienst");
    EXPECT_EQ(titleWith("C", "de_DE.UTF-8", "de_DE.UTF-8"), "Backup Agent");
    EXPECT_EQ(titleWith({}, {}, {}), "Backup Agent");
}

// A system entry is switched off for the user without rights; a user entry
// that shadowed one must not let it start again once renamed away.
TEST_F(PerformanceFinderTest, DisablingKeepsSystemEntriesOffWithTheUsersHiddenEntry) {
    const QString log = fakeSystemctl();
    const QString system = entry(root("etc/xdg/autostart/updater.desktop"), "Exec=curl x | sh\n");
    entry(root("etc/xdg/autostart/sync.desktop"));
    const QString shadow = entry(home(".config/autostart/sync.desktop"), "Exec=/opt/sync --quiet\n");
    ASSERT_EQ(loginTitles(), QStringList({"sync@user", "updater@system"}));

    EXPECT_EQ(PerformanceService::disableAgent(system).text, "Disabled updater");
    EXPECT_TRUE(QFile::exists(system)) << "the system's file is not touched";
    const DesktopEntryFile written = DesktopEntryFile::read(home(".config/autostart/updater.desktop"));
    EXPECT_EQ(written.entryBoolean("Hidden"), true);
    EXPECT_FALSE(written.text().contains("curl")) << "nothing of the system's entry is copied";

    ASSERT_TRUE(PerformanceService::disableAgent(shadow).disabled);
    EXPECT_TRUE(DesktopEntryFile::read(shadow + ".disable").text().contains("/opt/sync")) << "the user's entry is kept";
    EXPECT_TRUE(loginTitles().isEmpty()) << "the system's entry did not come back on";
    EXPECT_TRUE(lines(log).isEmpty());
}

TEST_F(PerformanceFinderTest, AUnitWhoseFileCannotBeRenamedIsNotStopped) {
    const QString log = fakeSystemctl();
    const QString folder = root("etc/systemd/system");
    test::ScratchFileSystem scratch(folder, 1 << 20);
    const QString unit = test::writeFile(folder + "/printer.service", "[Service]\nExecStart=/usr/bin/printerd\n");
    // Read-only: a mount remounted so for root (who passes every permission), mode 0555 for anyone else.
    if (scratch.ok()) {
        ASSERT_EQ(::mount(nullptr, QFile::encodeName(folder).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    } else if (::geteuid() != 0) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    } else {
        GTEST_SKIP() << "no way to make a folder read-only here";
    }
    const PerformanceService::DisableResult result = PerformanceService::disableAgent(unit);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(result.disabled);
    EXPECT_TRUE(result.text.startsWith("Could not disable printer: ")) << result.text.toStdString();
    EXPECT_TRUE(lines(log).isEmpty()) << "not stopped: it could not have been kept from starting again";
    EXPECT_TRUE(QFile::exists(unit));
}

// Only files of the launch item folders are renamed, with one rename that
// replaces an earlier disabled file, never deleting it.
TEST_F(PerformanceFinderTest, DisablingRenamesAndReplacesAnOlderDisabledFile) {
    const QString log = fakeSystemctl();
    const QString entry = test::writeFile(home(".config/autostart/chat.desktop"), "new");
    const QString older = test::writeFile(entry + ".disable", "old");
    const PerformanceService::DisableResult result = PerformanceService::disableAgent(entry);
    EXPECT_TRUE(result.disabled);
    EXPECT_EQ(result.text, "Disabled chat");
    EXPECT_FALSE(QFile::exists(entry));
    QFile renamed(older);
    ASSERT_TRUE(renamed.open(QIODevice::ReadOnly));
    EXPECT_EQ(renamed.readAll(), "new") << "the rename replaced the older file";
    EXPECT_TRUE(lines(log).isEmpty()) << "an autostart entry needs no tool";

    const PerformanceService::DisableResult again = PerformanceService::disableAgent(entry);
    EXPECT_FALSE(again.disabled);
    EXPECT_EQ(again.text, "Could not disable chat: No such file or directory");
    EXPECT_TRUE(QFile::exists(older)) << "a failed disable leaves the disabled file alone";

    for (const QString& path : {test::writeFile(home("Documents/report.desktop")),
                                test::writeFile(home(".config/autostart/notes.service")),
                                test::writeFile(home(".config/systemd/user/sub/x.service"))}) {
        EXPECT_FALSE(PerformanceService::disableAgent(path).disabled) << path.toStdString();
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_TRUE(lines(log).isEmpty());
}

TEST_F(PerformanceFinderTest, DisablingAUnitStopsItFirstWithItsNameAfterTheOptions) {
    struct Case {
        QString path;
        QStringList arguments;
    };
    const QString log = fakeSystemctl(1);  // a failing systemctl does not stop the rename
    const QString user = test::writeFile(home(".config/systemd/user/--now.service"));
    const QString system = test::writeFile(root("etc/systemd/system/printer.service"));
    for (const Case& c : {Case{user, {"--user", "disable", "--now", "--", "--now.service"}},
                          Case{system, {"--no-ask-password", "disable", "--now", "--", "printer.service"}}}) {
        QFile::remove(log);
        const PerformanceService::DisableResult result = PerformanceService::disableAgent(c.path);
        EXPECT_TRUE(result.disabled) << result.text.toStdString();
        EXPECT_EQ(lines(log), c.arguments);
        EXPECT_TRUE(QFile::exists(c.path + ".disable"));
    }
}
