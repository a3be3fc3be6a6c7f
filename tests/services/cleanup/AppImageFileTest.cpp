#include "services/cleanup/AppImageFile.h"
#include "services/cleanup/DesktopEntry.h"

#include "LinuxAppsTestSupport.h"

#include <gtest/gtest.h>

namespace tarnwick::test {
namespace {

TEST(AppImageFile, FileNamesGiveTheNameAndTheVersion) {
    struct Case {
        const char* file;
        const char* name;
        const char* version;
    };
    for (const Case& c : {
             Case{"Krita-5.2.2-x86_64.AppImage", "Krita", "5.2.2"},
             Case{"LM-Studio-0.2.31.AppImage", "LM-Studio", "0.2.31"},
             Case{"Obsidian_v1.5.3_amd64.appimage", "Obsidian", "1.5.3"},
             Case{"Cursor-0.42.3-build-2410-x86_64.AppImage", "Cursor", "0.42.3"},
             Case{"appimagetool-x86_64.AppImage", "appimagetool", ""},
             Case{"nvim.appimage", "nvim", ""},
             Case{"2048-1.0.AppImage", "2048", "1.0"},
             Case{"-1.0.AppImage", "-1.0", ""},
         }) {
        const AppImageFile::FileName parsed = AppImageFile::parseFileName(QString::fromUtf8(c.file));
        EXPECT_EQ(parsed.name, QString::fromUtf8(c.name)) << c.file;
        EXPECT_EQ(parsed.version, QString::fromUtf8(c.version)) << c.file;
    }
}

TEST(AppImageFile, VersionsCompareNumbersAsNumbers) {
    EXPECT_GT(AppImageFile::compareVersions("1.10", "1.9"), 0);
    EXPECT_GT(AppImageFile::compareVersions("2.0.1", "2.0"), 0);
    EXPECT_LT(AppImageFile::compareVersions("2.0-beta", "2.0"), 0);
    EXPECT_GT(AppImageFile::compareVersions("1.0.1", "1.0rc1"), 0);
    EXPECT_EQ(AppImageFile::compareVersions("1.02", "1.2"), 0);
    EXPECT_GT(AppImageFile::compareVersions("99999999999999999999999.1", "9.1"), 0) << "no overflow";
}

TEST(AppImageFile, ExecWordsFollowTheDesktopEntryQuoting) {
    EXPECT_EQ(DesktopEntry::execWords(R"("/home/a b/App.AppImage" %U)"),
              (QStringList{"/home/a b/App.AppImage", "%U"}));
    EXPECT_EQ(DesktopEntry::execWords(R"(prog "say \"hi\" \$HOME \\")"), (QStringList{"prog", "say \"hi\" $HOME \\"}));
    EXPECT_EQ(DesktopEntry::execWords(R"("open)"), std::nullopt);
    // The entry's own group, its unlocalised keys unescaped, the program after env's assignments.
    test::FakeEnvironment env;
    const QString path = test::writeFile(env.home() + "/tool.desktop",
                                   "[Other]\nName=No\nExec=no\n[Desktop Entry]\nName[de]=Erste\nName = First\n"
                                   "Exec=env A=1 \"/opt/My\\sTool/run\" %U\n");
    const std::optional<DesktopEntry> entry = DesktopEntry::read(path);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "First");
    EXPECT_EQ(entry->program, "/opt/My Tool/run");
    EXPECT_FALSE(DesktopEntry::read(test::writeFile(env.home() + "/none.desktop", "[Other]\nName=No\n")));
}

class AppImageFolders : public ::testing::Test {
protected:
    QString home(const QString& relative) const { return env.home() + QLatin1Char('/') + relative; }
    QList<AppImageFile> list() {
        return AppImageFile::list({{home("Applications")}, {home(".local/bin")}, {home("Downloads"), false}},
                                  home(".local/share/applications"));
    }
    FakeEnvironment env;
};

TEST_F(AppImageFolders, FindsAppImagesByNameOrMarkWithTheEntriesThatStartThem) {
    const QString krita = writeAppImage(home("Applications/krita-5.2.2-x86_64.AppImage"), 300000);
    writeAppImage(home(".local/bin/nvim"), 200000);                         // the mark, no name
    writeAppImage(home(".local/bin/script"), 200000, false);                // neither
    writeAppImage(home("Downloads/marked-only"), 200000);                   // Downloads: by name only
    const QString plain = writeAppImage(home("Downloads/Tool.APPIMAGE"), 100, false);
    makeLink(krita, home("Applications/link.AppImage"));
    makeDir(home("Applications/folder.AppImage"));

    const QString entries = home(".local/share/applications");
    const QString own = writeDesktopEntry(entries, "appimagekit-krita.desktop", "Krita Studio", krita,
                                          "X-AppImage-Version=9.9\n");
    writeDesktopEntry(entries, "other.desktop", "Other", home("Applications/other.AppImage"));
    writeFile(entries + "/huge.desktop", "[Desktop Entry]\nExec=" + krita.toUtf8() + "\n" + QByteArray(200000, '#'));
    writeFile(entries + "/binary.desktop", "[Desktop Entry]\nName=\xff\xfe\nExec=" + krita.toUtf8() + "\n");
    writeFile(entries + "/dots.desktop", "[Desktop Entry]\nName=Dots\nExec=" + home("Applications/../Applications/")
                                             .toUtf8() + "krita-5.2.2-x86_64.AppImage\n");

    const QList<AppImageFile> found = list();
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found[0].path, krita);
    EXPECT_EQ(found[0].name, "Krita Studio") << "the entry's name";
    EXPECT_EQ(found[0].baseName, "krita");
    EXPECT_EQ(found[0].version, "5.2.2") << "the file name's version comes first";
    EXPECT_EQ(found[0].desktopEntries.join(" ").toStdString(),
              QStringList({own, entries + "/dots.desktop", entries + "/huge.desktop"}).join(" ").toStdString())
        << "the binary entry is not read; the huge one is read up to the cap";
    EXPECT_EQ(found[1].name, "nvim");
    EXPECT_EQ(found[1].version, "?");
    EXPECT_EQ(found[2].path, plain);
}

}  // namespace
}  // namespace tarnwick::test
