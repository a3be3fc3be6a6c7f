#pragma once

#include <QString>
#include <QUuid>

namespace tarnwick {

// One place where traces of the user's activity collect.
struct PrivacyItem {
    QUuid id = QUuid::createUuid();
    QString title{};
    QString path{};    // absolute path; what a clean moves
    QString detail{};  // the path with "~" for the home folder
    qint64 size = 0;
    bool isSelected = false;

    bool operator==(const PrivacyItem&) const = default;
};

}  // namespace tarnwick
