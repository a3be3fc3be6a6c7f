// What the junk scan finds of Flatpak apps: each installed app's cache
// folder among the user's caches, and the data folders of removed apps.

#include "services/cleanup/CleanupService.h"
#include "services/cleanup/JunkSearches.h"

#include "JunkTestSupport.h"
#include "LinuxAppsTestSupport.h"

#include <QFile>

#include <unistd.h>

namespace tarnwick::test {
namespace {

constexpr qint64 MB = 1000000;

class FlatpakJunk : public JunkTest {
protected:
    QString data(const QString& relative) const { return home(".var/app/" + relative); }
};

TEST_F(FlatpakJunk, RemovedAppsLeaveTheirDataAndEveryAppsCacheJoinsTheUserCaches) {
    writeFlatpakApp(home(".local/share/flatpak/app"), "org.example.Editor", "Editor", "1", 100);
    writeFlatpakApp(root("/var/lib/flatpak/app"), "org.example.Viewer", "Viewer", "1", 100);
    makeDir(home(".local/share/flatpak/app/org.example.Half"));  // not deployed in full: still installed
    writeFilled(data("org.example.Editor/cache/thumbs"), 2 * MB, 't');  // a cache counts its blocks
    writeSparse(data("org.example.Editor/data/db"), 40 * MB);
    writeSparse(data("org.example.Viewer/data/db"), 40 * MB);
    writeSparse(data("org.example.Half/data/db"), 40 * MB);
    writeSparse(data("org.example.Gone/data/db"), 30 * MB);
    writeSparse(data("org.example.Gone/cache/c"), 3 * MB);
    writeSparse(data("org.example.Small/data/db"), 20 * MB);         // not more than 20,000,000
    writeSparse(data("not-an-id/data/db"), 40 * MB);
    writeSparse(home("Documents/notes/big"), 40 * MB);
    makeLink(home("Documents/notes"), data("org.example.Linked"));
    makeLink(home("Documents/notes"), data("org.example.Editor2"));
    makeDir(data("org.example.Editor2x"));
    makeLink(home("Documents/notes"), data("org.example.Editor2x/cache"));

    const std::vector<JunkFinding> removed = CleanupService::findRemovedFlatpakData(context());
    ASSERT_EQ(titlesOf(removed), QStringList{"org.example.Gone"});
    EXPECT_EQ(removed[0].item.detail, QStringLiteral("No installed Flatpak app · ~/.var/app/org.example.Gone"));
    EXPECT_EQ(removed[0].item.category, CleanupCategory::leftovers);
    EXPECT_FALSE(removed[0].item.isSelected);

    const QList<CleanupItem> items = CleanupService::scan({});
    const CleanupItem* cache = byPath(items, data("org.example.Editor/cache"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->category, CleanupCategory::caches);
    EXPECT_TRUE(cache->isSelected);
    EXPECT_TRUE(cache->scope.contentsOnly) << "the app keeps its cache folder";
    const CleanupItem* gone = byPath(items, data("org.example.Gone"));
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->size, 33 * MB) << "it moves whole, with its cache";
    EXPECT_FALSE(byPath(items, data("org.example.Gone/cache"))) << "no finding inside one that moves whole";
    for (const CleanupItem& item : items) {
        EXPECT_FALSE(item.path.startsWith(home("Documents"))) << "links are never followed";
        EXPECT_FALSE(item.path.contains("Editor2x")) << item.path.toStdString();
    }

    // When an installation cannot be read, nothing tells what is installed.
    if (::geteuid() != 0) {
        ::chmod(QFile::encodeName(root("/var/lib/flatpak/app")).constData(), 0);
        EXPECT_TRUE(CleanupService::findRemovedFlatpakData(context()).empty());
        ::chmod(QFile::encodeName(root("/var/lib/flatpak/app")).constData(), 0755);
    }
}

}  // namespace
}  // namespace tarnwick::test
