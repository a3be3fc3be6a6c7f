#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One installed application with what it left in the user's Library.
struct InstalledApp {
    // One leftover file or folder of the application.
    struct Leftover {
        QUuid id = QUuid::createUuid();
        QString path{};   // absolute
        qint64 size = 0;  // bytes; at least 1 after a scan

        bool operator==(const Leftover&) const = default;
    };

    QUuid id = QUuid::createUuid();
    QString name{};  // bundle file name without ".app"
    QString path{};  // absolute path of the bundle
    std::optional<QString> bundleId{};
    qint64 size = 0;               // allocated bytes of the bundle
    QList<Leftover> leftovers{};     // largest first
    bool isSelected = false;

    // The sum of the leftovers' sizes (0 without leftovers); saturates
    // instead of wrapping.
    qint64 leftoversBytes() const;

    bool operator==(const InstalledApp&) const = default;
};

}  // namespace tarnwick
