#include "platform/Locations.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using Place = Locations::Place;
using test::makeDir;
using test::writeFile;

class LocationsTest : public ::testing::Test {
protected:
    test::FakeEnvironment env;
    QString home = env.home();

    Locations locations() { return Locations(env.environment()); }
    void userDirs(const QByteArray& text) { writeFile(home + QStringLiteral("/.config/user-dirs.dirs"), text); }
};

TEST_F(LocationsTest, BaseFoldersFollowTheXdgVariablesWhenTheyAreUsable) {
    EXPECT_EQ(locations().path(Place::userCaches), home + QStringLiteral("/.cache"));
    EXPECT_EQ(locations().path(Place::trash), home + QStringLiteral("/.local/share/Trash/files"));

    struct Case {
        QString value;
        QString cache;
    };
    const QString elsewhere = env.path(QStringLiteral("cache"));
    for (const Case& c : {Case{elsewhere + QStringLiteral("/"), elsewhere},
                          Case{QStringLiteral("relative/cache"), home + QStringLiteral("/.cache")},
                          Case{home, home + QStringLiteral("/.cache")},
                          Case{QStringLiteral("/"), home + QStringLiteral("/.cache")}}) {
        env.environment().variables.insert(QStringLiteral("XDG_CACHE_HOME"), c.value);
        EXPECT_EQ(locations().cacheHome(), c.cache) << c.value.toStdString();
    }
    env.environment().variables.insert(QStringLiteral("XDG_DATA_HOME"), env.path(QStringLiteral("data")));
    EXPECT_EQ(locations().path(Place::trash), env.path(QStringLiteral("data/Trash/files")));
}

TEST_F(LocationsTest, PlacesFollowTheConfigAndDataFoldersOrStayUnderTheHomeOrTheRootPrefix) {
    const QString config = env.path(QStringLiteral("config"));
    const QString data = env.path(QStringLiteral("data"));
    env.environment().variables.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.environment().variables.insert(QStringLiteral("XDG_DATA_HOME"), data);
    const Locations here = locations();
    for (const auto& [place, expected] :
         {std::pair{Place::userAutostart, config + QStringLiteral("/autostart")},
          {Place::desktopEntries, data + QStringLiteral("/applications")},
          {Place::stateFolder, home + QStringLiteral("/.local/state")},
          {Place::userLogs, home + QStringLiteral("/Library/Logs")},
          {Place::systemAutostart, env.root() + QStringLiteral("/etc/xdg/autostart")}}) {
        EXPECT_EQ(here.paths(place), QStringList{expected}) << Locations::namedAs(place).toStdString();
    }
    EXPECT_EQ(here.paths(Place::dockerRaw).size(), 2);  // every candidate, in order
}

TEST_F(LocationsTest, UserFoldersAreReadFromTheUserDirsFile) {
    EXPECT_EQ(locations().path(Place::downloads), home + QStringLiteral("/Downloads"));
    userDirs("# written by the user-dirs tool\n"
             "XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\n"
             "XDG_DOCUMENTS_DIR=\"/data/docs/\"\n"
             "XDG_DESKTOP_DIR=\"$HOME/\"\n"
             "XDG_PICTURES_DIR=\"Bilder\"\n"
             "  XDG_MUSIC_DIR=\"$HOME/Musik\"\n"
             "XDG_VIDEOS_DIR=\"$HOME/Old\"\n"
             "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    const Locations here = locations();
    EXPECT_EQ(here.path(Place::downloads), home + QStringLiteral("/Herunterladen"));
    EXPECT_EQ(here.path(Place::documents), QStringLiteral("/data/docs"));
    // The home folder itself marks a folder the user switched off; a relative
    // path is no folder at all: both fall back to the named place.
    EXPECT_EQ(here.path(Place::desktop), home + QStringLiteral("/Desktop"));
    EXPECT_EQ(here.path(Place::pictures), home + QStringLiteral("/Pictures"));
    EXPECT_EQ(here.path(Place::screenshots), home + QStringLiteral("/Pictures/Screenshots"));
    EXPECT_TRUE(here.userDirectory(QStringLiteral("MUSIC")).isEmpty());
    EXPECT_EQ(here.path(Place::movies), home + QStringLiteral("/Filme"));  // the last line wins

    env.environment().variables.insert(QStringLiteral("XDG_CONFIG_HOME"), env.path(QStringLiteral("config")));
    writeFile(env.path(QStringLiteral("config/user-dirs.dirs")),
              "XDG_DOWNLOAD_DIR=\"$HOME/dl\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(locations().path(Place::downloads), home + QStringLiteral("/dl"));
    EXPECT_EQ(locations().path(Place::screenshots), home + QStringLiteral("/Bilder/Screenshots"));
}

TEST_F(LocationsTest, TheUserTempFolderIsOnlyOneOfTheUsersOwn) {
    const QString own = makeDir(env.path(QStringLiteral("user-tmp")));
    test::makeLink(own, env.path(QStringLiteral("tmp-link")));
    struct Case {
        QString temp;
        bool listed;
    };
    for (const Case& c : {Case{own, true}, Case{own + QStringLiteral("/"), true}, Case{QStringLiteral("/tmp"), false},
                          Case{QStringLiteral("/var/tmp/"), false}, Case{QStringLiteral("/"), false},
                          Case{home, false}, Case{env.path(), false} /* above the home folder */,
                          Case{env.path(QStringLiteral("tmp-link")), false}, Case{env.path(QStringLiteral("none")), false},
                          Case{QStringLiteral("relative"), false}}) {
        env.environment().tempDirectory = c.temp;
        const QStringList paths = locations().paths(Place::userTemp);
        EXPECT_EQ(paths, c.listed ? QStringList{own} : QStringList{}) << c.temp.toStdString();
    }
    env.environment().tempDirectory = own;
    env.environment().userId = static_cast<qint64>(::geteuid()) + 4242;  // someone else owns it
    EXPECT_TRUE(locations().paths(Place::userTemp).isEmpty());
}

}  // namespace
}  // namespace tarnwick
