#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <stop_token>

namespace tarnwick {

// One AppImage: a single runnable file that is the whole app. Found by its
// name ("*.AppImage" in any case) or, outside Downloads, by the AppImage mark
// in its ELF header; only regular files count, never links. Its name and
// version come from the file name ("Krita-5.2.2-x86_64.AppImage" is Krita
// 5.2.2) and from the user's desktop entries that start it.
struct AppImageFile {
    static constexpr qsizetype kEntriesLooked = 2000;  // per folder

    QString name;      // Name= of a desktop entry that starts it, else fileName.name
    QString baseName;  // the name its file name gives, which a newer download shares
    QString version;   // from the file name, else X-AppImage-Version of its entry, else "?"
    QString path;
    qint64 modifiedMSecs = 0;
    // The desktop entries of the user's applications folder that start this
    // file (Exec= or TryExec= name its path); they go with it.
    QStringList desktopEntries;

    struct FileName {
        QString name;
        QString version;  // empty when the name carries none
    };
    // "LM-Studio-0.2.31.AppImage" gives LM-Studio and 0.2.31;
    // "Krita_5.2.2_x86_64.AppImage" Krita and 5.2.2 ("v" before a version
    // and machine names such as x86_64 or amd64 are dropped); "nvim.appimage"
    // nvim and no version.
    static FileName parseFileName(const QString& fileName);
    // Orders two versions part by part, numbers as numbers ("1.10" after
    // "1.9", "2.0" after "2.0-beta"); < 0, 0 or > 0.
    static int compareVersions(const QString& a, const QString& b);

    // The AppImages directly inside each folder in turn (the first 2,000
    // entries of each, hidden ones skipped), matched with the desktop entries
    // of entriesFolder. lookInside: also files without the name that carry
    // the mark (read are the first 12 bytes of executable files).
    struct Folder {
        QString path;
        bool lookInside = true;
    };
    static QList<AppImageFile> list(const QList<Folder>& folders, const QString& entriesFolder,
                                    const std::stop_token& stop = {});
};

}  // namespace tarnwick
