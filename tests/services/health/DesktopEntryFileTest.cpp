#include "services/health/DesktopEntryFile.h"

#include "platform/PathCodec.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(DesktopEntryFile, ReadsTheEntryGroupAsTheStandardWritesIt) {
    const DesktopEntryFile entry = DesktopEntryFile::parse(QStringLiteral(
        "# comment\r\n"
        "[Desktop Entry]\r\n"
        "Name = Sync\\sTool\r\n"
        "Hidden=false\n"
        "Hidden=true\n"  // a key given twice takes its last value
        "X-GNOME-Autostart-enabled=maybe\n"
        "OnlyShowIn=GNOME;Budgie\\;Edition;;\n"
        "[Desktop Action quit]\n"
        "Exec=other\n"
        "[Desktop Entry]\n"
        "Exec=/usr/bin/sync --quiet\n"));
    EXPECT_EQ(entry.entryString("Name"), "Sync Tool");
    EXPECT_EQ(entry.entryBoolean("Hidden"), true);
    EXPECT_EQ(entry.entryBoolean("X-GNOME-Autostart-enabled"), std::nullopt) << "neither true nor false";
    EXPECT_EQ(entry.entryList("OnlyShowIn"), QStringList({"GNOME", "Budgie;Edition"}));
    EXPECT_EQ(entry.entryString("Exec"), "/usr/bin/sync --quiet") << "from the group given again, not the action";
    EXPECT_EQ(entry.value("Desktop Action quit", "Exec"), "other");
    EXPECT_FALSE(entry.entryString("TryExec"));

    // Bytes that are not UTF-8 stay as they were, beside everything else.
    const DesktopEntryFile latin1 = DesktopEntryFile::parse(PathCodec::decode(QByteArray("[Desktop Entry]\nName=Caf\xe9\nHidden=1\n")));
    EXPECT_EQ(PathCodec::encode(*latin1.entryString("Name")), QByteArray("Caf\xe9"));
    EXPECT_EQ(latin1.entryBoolean("Hidden"), true);
}
