#include "services/scan/APFSAccounting.h"

#include "platform/Environment.h"
#include "platform/ToolRunner.h"

#include <QFile>
#include <QFileInfo>

#include <plist/plist.h>
#include <sys/statvfs.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

namespace tarnwick::APFSAccounting {

namespace {

const QString kDiskTool = QStringLiteral("/usr/sbin/diskutil");
constexpr std::chrono::seconds kDiskToolTimeout{30};

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The listing's top-level dictionary, or null when there is no listing or it
// is not a property list topped by a dictionary.
PlistPtr listingDictionary(const ListingSource& source) {
    if (!source) return {};
    const std::optional<QByteArray> document = source();
    if (!document || document->isEmpty()) return {};
    if (static_cast<quint64>(document->size()) > std::numeric_limits<uint32_t>::max()) return {};
    plist_t root = nullptr;
    plist_from_memory(document->constData(), static_cast<uint32_t>(document->size()), &root);
    PlistPtr owned(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) return {};
    return owned;
}

std::optional<QString> textValue(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (!text) return QString();
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

// Integers are taken as signed 64-bit values, real numbers truncated toward
// zero; anything else, an absent key included, counts as 0.
qint64 int64(plist_t node) {
    if (!node) return 0;
    switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<qint64>(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        if (!std::isfinite(value) || value >= 9223372036854775807.0 || value < -9223372036854775807.0) return 0;
        return static_cast<qint64>(value);
    }
    default:
        return 0;
    }
}

// The elements of an array whose elements are all dictionaries; nothing for
// anything else.
std::optional<std::vector<plist_t>> dictionaries(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_ARRAY) return std::nullopt;
    std::vector<plist_t> out;
    const uint32_t count = plist_array_get_size(node);
    out.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t item = plist_array_get_item(node, i);
        if (!item || plist_get_node_type(item) != PLIST_DICT) return std::nullopt;
        out.push_back(item);
    }
    return out;
}

std::vector<plist_t> volumesOf(plist_t container) {
    return dictionaries(plist_dict_get_item(container, "Volumes")).value_or(std::vector<plist_t>{});
}

// The first element of "Roles" when that is a non-empty array of text, else
// "Role" when that is text, else empty.
QString roleOf(plist_t volume) {
    plist_t roles = plist_dict_get_item(volume, "Roles");
    if (roles && plist_get_node_type(roles) == PLIST_ARRAY && plist_array_get_size(roles) > 0) {
        std::optional<QString> first;
        bool allText = true;
        const uint32_t count = plist_array_get_size(roles);
        for (uint32_t i = 0; i < count && allText; ++i) {
            const std::optional<QString> role = textValue(plist_array_get_item(roles, i));
            if (!role) allText = false;
            else if (!first) first = role;
        }
        if (allText && first) return *first;
    }
    return textValue(plist_dict_get_item(volume, "Role")).value_or(QString());
}

// The container holding the start-up system: the first one with a System or
// Data volume, else the first one. Null when the listing has no containers.
plist_t bootContainer(plist_t listing) {
    if (!listing) return nullptr;
    const std::optional<std::vector<plist_t>> containers =
        dictionaries(plist_dict_get_item(listing, "Containers"));
    if (!containers || containers->empty()) return nullptr;
    for (plist_t container : *containers) {
        for (plist_t volume : volumesOf(container)) {
            const QString role = roleOf(volume).toLower();
            if (role == QLatin1String("system") || role == QLatin1String("data")) return container;
        }
    }
    return containers->front();
}

QString displayName(const QString& role, const QString& name) {
    const QString key = role.toLower();
    if (key == QLatin1String("system")) return QStringLiteral("Computer System");
    if (key == QLatin1String("preboot")) return QStringLiteral("Preboot");
    if (key == QLatin1String("recovery")) return QStringLiteral("Recovery");
    if (key == QLatin1String("vm")) return QStringLiteral("Virtual Memory");
    if (key == QLatin1String("update")) return QStringLiteral("Update");
    return name.isEmpty() ? role : name;
}

std::optional<QString> defaultMount(const QString& role) {
    const QString key = role.toLower();
    if (key == QLatin1String("system")) return QStringLiteral("/");
    if (key == QLatin1String("data")) return QStringLiteral("/System/Volumes/Data");
    if (key == QLatin1String("preboot")) return QStringLiteral("/System/Volumes/Preboot");
    if (key == QLatin1String("recovery")) return QStringLiteral("/System/Volumes/Recovery");
    if (key == QLatin1String("vm")) return QStringLiteral("/System/Volumes/VM");
    if (key == QLatin1String("update")) return QStringLiteral("/System/Volumes/Update");
    return std::nullopt;
}

qint64 clampedProduct(quint64 count, quint64 unit) {
    constexpr quint64 limit = static_cast<quint64>(std::numeric_limits<qint64>::max());
    if (unit != 0 && count > limit / unit) return std::numeric_limits<qint64>::max();
    return static_cast<qint64>(count * unit);
}

void setInteger(plist_t dict, const char* key, qint64 value) {
    plist_dict_set_item(dict, key, plist_new_uint(static_cast<uint64_t>(value)));
}

}  // namespace

std::optional<QByteArray> diskToolListing() {
    const QString tool = Environment::current().toolPath(kDiskTool);
    const ToolResult result = ToolRunner::run(
        tool, {QStringLiteral("apfs"), QStringLiteral("list"), QStringLiteral("-plist")}, kDiskToolTimeout,
        ToolRunner::Stderr::discard);
    // A killed or timed-out tool leaves a cut-off listing; only a tool that
    // ended by itself is believed, whatever its exit status.
    if (result.status != ToolResult::Status::finished) return std::nullopt;
    return result.output;
}

std::optional<QByteArray> fileSystemListing(const QString& path) {
    struct statvfs info {};
    if (path.isEmpty() || ::statvfs(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    const quint64 unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    const quint64 usedBlocks = info.f_blocks > info.f_bfree ? info.f_blocks - info.f_bfree : 0;

    PlistPtr listing(plist_new_dict());
    plist_t container = plist_new_dict();
    plist_t volume = plist_new_dict();
    plist_t roles = plist_new_array();
    plist_array_append_item(roles, plist_new_string("Data"));
    plist_dict_set_item(volume, "Roles", roles);
    plist_dict_set_item(volume, "Name", plist_new_string("Data"));
    setInteger(volume, "CapacityInUse", clampedProduct(usedBlocks, unit));
    plist_t volumes = plist_new_array();
    plist_array_append_item(volumes, volume);
    plist_dict_set_item(container, "Volumes", volumes);
    setInteger(container, "CapacityCeiling", clampedProduct(info.f_blocks, unit));
    setInteger(container, "CapacityFree", clampedProduct(info.f_bavail, unit));
    setInteger(container, "CapacityInUseByVolumes", clampedProduct(usedBlocks, unit));
    plist_t containers = plist_new_array();
    plist_array_append_item(containers, container);
    plist_dict_set_item(listing.get(), "Containers", containers);

    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(listing.get(), &xml, &length);
    if (!xml) return std::nullopt;
    QByteArray document(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    return document;
}

ListingSource systemListingSource(const QString& path) {
    return [path]() -> std::optional<QByteArray> {
        if (QFileInfo::exists(Environment::current().toolPath(kDiskTool))) return diskToolListing();
        return fileSystemListing(path);
    };
}

std::vector<APFSRoleVolume> siblingRoleVolumes(const ListingSource& source) {
    const PlistPtr listing = listingDictionary(source);
    plist_t container = bootContainer(listing.get());
    if (!container) return {};
    std::vector<APFSRoleVolume> out;
    for (plist_t volume : volumesOf(container)) {
        const QString role = roleOf(volume);
        if (role.toLower() == QLatin1String("data")) continue;
        const qint64 consumed = int64(plist_dict_get_item(volume, "CapacityInUse"));
        if (consumed <= 0) continue;
        const QString name = textValue(plist_dict_get_item(volume, "Name")).value_or(role);
        const QString id = textValue(plist_dict_get_item(volume, "APFSVolumeUUID")).value_or(name);
        out.push_back(APFSRoleVolume{id, displayName(role, name), role, defaultMount(role), consumed});
    }
    return out;
}

std::optional<qint64> dataVolumeConsumedBytes(const ListingSource& source) {
    const PlistPtr listing = listingDictionary(source);
    plist_t container = bootContainer(listing.get());
    if (!container) return std::nullopt;
    for (plist_t volume : volumesOf(container)) {
        if (roleOf(volume).toLower() == QLatin1String("data")) return int64(plist_dict_get_item(volume, "CapacityInUse"));
    }
    return std::nullopt;
}

std::optional<qint64> bootContainerBytesInUse(const ListingSource& source) {
    const PlistPtr listing = listingDictionary(source);
    plist_t container = bootContainer(listing.get());
    if (!container) return std::nullopt;
    return int64(plist_dict_get_item(container, "CapacityInUseByVolumes"));
}

}  // namespace tarnwick::APFSAccounting
