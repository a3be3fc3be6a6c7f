#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One installed application with what it left in the user's data folders.
struct InstalledApp {
    // What the application is, which decides how it goes.
    enum class Kind {
        bundle,         // an application bundle: the bundle moves into the Safe Bin
        appImage,       // one runnable file: it moves with its desktop entries
        flatpak,        // a Flatpak app of the user's installation: its data moves,
                        // then flatpak removes the app, which comes back from its remote
        systemFlatpak,  // a Flatpak app of a system installation: never uninstalled here
    };

    // One leftover file or folder of the application.
    struct Leftover {
        QUuid id = QUuid::createUuid();
        QString path{};   // absolute
        qint64 size = 0;  // bytes; at least 1 after a scan

        bool operator==(const Leftover&) const = default;
    };

    QUuid id = QUuid::createUuid();
    QString name{};  // bundle file name without ".app", or the app's own name
    QString path{};  // absolute path of the bundle, the AppImage or the Flatpak app's folder
    std::optional<QString> bundleId{};  // also a Flatpak app's id
    qint64 size = 0;               // allocated bytes of the app itself
    QList<Leftover> leftovers{};     // largest first
    bool isSelected = false;
    Kind kind = Kind::bundle;
    // An AppImage's desktop entries: they go with it, not with a reset.
    QStringList desktopEntries{};

    // The sum of the leftovers' sizes (0 without leftovers); saturates
    // instead of wrapping.
    qint64 leftoversBytes() const;

    bool operator==(const InstalledApp&) const = default;
};

}  // namespace tarnwick
