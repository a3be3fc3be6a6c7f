#include "services/scan/SpaceReconciler.h"

#include "support/PathRules.h"

#include <QUuid>

namespace tarnwick::SpaceReconciler {

namespace {

// True when bytes exceeds base by more than threshold, without overflow.
bool exceedsBy(qint64 bytes, qint64 base, qint64 threshold) {
    return bytes > base && bytes - base > threshold;
}

}  // namespace

ScanNodePtr enrichMacintoshHD(const ScanNodePtr& dataRoot, const QString& rootName) {
    if (!dataRoot) return nullptr;
    return enrichMacintoshHD(dataRoot, rootName, APFSAccounting::systemListingSource(dataRoot->path()));
}

ScanNodePtr enrichMacintoshHD(const ScanNodePtr& dataRoot, const QString& rootName,
                              const APFSAccounting::ListingSource& source) {
    if (!dataRoot) return nullptr;

    // One listing answers all three questions: the tool runs once per
    // reconciliation and the figures come from the same moment.
    const std::optional<QByteArray> listing = source ? source() : std::nullopt;
    const APFSAccounting::ListingSource snapshot = [&listing] { return listing; };
    const std::vector<APFSRoleVolume> roleVolumes = APFSAccounting::siblingRoleVolumes(snapshot);
    const std::optional<qint64> dataConsumed = APFSAccounting::dataVolumeConsumedBytes(snapshot);
    const std::optional<qint64> containerInUse = APFSAccounting::bootContainerBytesInUse(snapshot);

    ScanNodePtr data = ScanNode::create(QUuid::createUuid(), dataRoot->name, dataRoot->path(), NodeKind::dir,
                                        dataRoot->size, dataRoot->children);

    if (dataConsumed && exceedsBy(*dataConsumed, data->size, kHiddenSpaceThreshold)) {
        ScanNodePtr hidden = ScanNode::create(
            QUuid::createUuid(), QStringLiteral("(hidden / restricted space)"),
            PathRules::appendingPathComponent(dataRoot->path(), QStringLiteral(".hidden")), NodeKind::restricted,
            *dataConsumed - data->size);
        // It stands for whatever the walk could not see; nothing there can be collected.
        hidden->isAggregate = true;
        data->appendChild(std::move(hidden));
    }
    data->resortChildren();

    ScanNodePtr root = ScanNode::create(QUuid::createUuid(), rootName, QStringLiteral("/"), NodeKind::dir, 0, {data});

    for (const APFSRoleVolume& volume : roleVolumes) {
        root->appendChild(ScanNode::create(QUuid::createUuid(), volume.name,
                                           volume.mountPoint.value_or(QStringLiteral("apfs://") + volume.role),
                                           NodeKind::virtual_, volume.consumedBytes));
    }
    root->resortChildren();

    if (containerInUse && exceedsBy(*containerInUse, root->size, kPurgeableSpaceThreshold)) {
        root->appendChild(ScanNode::create(QUuid::createUuid(), QStringLiteral("(purgeable / snapshots / other)"),
                                           QStringLiteral("apfs://other"), NodeKind::virtual_,
                                           *containerInUse - root->size));
        root->resortChildren();
    }
    return root;
}

}  // namespace tarnwick::SpaceReconciler
