#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One application that may have a newer version available.
struct AppUpdateItem {
    QUuid id = QUuid::createUuid();
    QString name{};              // application name, or the cask token
    QString path{};              // absolute path of the application (bundle, AppImage, Flatpak app folder)
    QString installedVersion{};  // "?" when undeclared, "brew cask" for a cask
    QString reason{};            // why it is listed
    std::optional<QString> installerPath{};  // the installer found in Downloads
    bool isSelected = false;
    // A Flatpak app of the user's installation: its button runs its update.
    std::optional<QString> userFlatpakId{};
    bool isUpdating = false;  // its update runs now

    bool operator==(const AppUpdateItem&) const = default;
};

}  // namespace tarnwick
