#pragma once

#include "models/BrowserUse.h"
#include "models/MoveScope.h"
#include "platform/FileIdentity.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tarnwick {

// One place where traces of the user's activity collect.
struct PrivacyItem {
    QUuid id = QUuid::createUuid();
    QString title{};
    QString path{};    // absolute path; what a clean moves
    QString detail{};  // the path with "~" for the home folder
    qint64 size = 0;
    bool isSelected = false;
    // A database's journal files (-journal, -wal, -shm), moved with it
    // whether or not they exist at the time.
    QStringList companionPaths{};
    // What the scan saw at path, and of the companions that were there; a
    // clean moves each only while it is still that item.
    std::optional<FileIdentity> seen{};
    QHash<QString, FileIdentity> companionsSeen{};
    // A cache folder stays in place: a clean moves its entries.
    MoveScope scope{};
    // The browser that must not be running while the item moves; empty for
    // items no program holds open.
    BrowserUse owner{};
    // Why the last clean left it in place; empty when it has not failed.
    QString notMoved{};

    // The row's second line: the reason it was not moved first, when there is one.
    QString rowDetail() const { return notMoved.isEmpty() ? detail : notMoved + QStringLiteral(" \u00B7 ") + detail; }

    bool operator==(const PrivacyItem&) const = default;
};

}  // namespace tarnwick
