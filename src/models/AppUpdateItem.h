#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One application that may have a newer version available.
struct AppUpdateItem {
    QUuid id = QUuid::createUuid();
    QString name{};              // application name, or the cask token
    QString path{};              // absolute path of the application bundle
    QString installedVersion{};  // "?" when undeclared, "brew cask" for a cask
    QString reason{};            // why it is listed
    std::optional<QString> installerPath{};  // the installer found in Downloads
    bool isSelected = false;

    bool operator==(const AppUpdateItem&) const = default;
};

}  // namespace tarnwick
