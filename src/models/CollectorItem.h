#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUuid>

namespace tarnwick {

class ScanNode;
struct FileRecord;

// Something the user has gathered for deletion: a node of the size tree or a
// file of the insights lists. Carries the id of what it was made from.
struct CollectorItem {
    QUuid id;
    QString name;
    QString path;
    qint64 size = 0;
    bool isDirectory = false;

    // isDirectory is true exactly for a node of kind dir.
    static CollectorItem fromNode(const ScanNode& node);
    // A file of the insights lists; never a directory.
    static CollectorItem fromRecord(const FileRecord& record);

    friend bool operator==(const CollectorItem&, const CollectorItem&) = default;
};

size_t qHash(const CollectorItem& item, size_t seed = 0) noexcept;

}  // namespace tarnwick
