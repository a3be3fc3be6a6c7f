#include "services/store/ActivityService.h"

#include "platform/Environment.h"
#include "platform/FileLock.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"
#include "support/Saturating.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <mutex>

namespace tarnwick::ActivityService {

namespace {

const QString kFileName = QStringLiteral("activity.json");
const QString kLockName = QStringLiteral("activity.lock");

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<QList<ActivityEvent>> decode(const QByteArray& data) {
    const auto array = JsonCoding::parseArray(data);
    if (!array) return std::nullopt;
    QList<ActivityEvent> events;
    events.reserve(array->size());
    for (const QJsonValue& value : *array) {
        if (!value.isObject()) return std::nullopt;
        auto event = ActivityEvent::fromJson(value.toObject());
        if (!event) return std::nullopt;  // one bad event spoils the whole file
        events.append(std::move(*event));
    }
    return events;
}

// What the stored log holds: the support file when it can be read, else the
// legacy file. `supportFileDamaged` tells that the support file exists but
// gave no events (unreadable or undecodable).
struct StoredLog {
    QList<ActivityEvent> events;
    bool supportFileDamaged = false;
};

StoredLog readStored() {
    StoredLog stored;
    const QString path = filePath();
    if (auto data = AtomicFile::read(path)) {
        if (auto events = decode(*data)) {
            stored.events = std::move(*events);
        } else {
            stored.supportFileDamaged = true;  // the legacy file is not tried
        }
        return stored;
    }
    stored.supportFileDamaged = QFileInfo::exists(path);
    if (auto data = AtomicFile::read(legacyFilePath())) {
        if (auto events = decode(*data)) stored.events = std::move(*events);
    }
    return stored;
}

QList<ActivityEvent> newestFirst(QList<ActivityEvent> events, qsizetype limit) {
    std::stable_sort(events.begin(), events.end(),
                     [](const ActivityEvent& a, const ActivityEvent& b) { return a.date > b.date; });
    if (events.size() > limit) events.resize(std::max<qsizetype>(limit, 0));
    return events;
}

// Moves a damaged log out of the way under a name that says so; false when it
// is still in place.
bool renameAside(const QString& path) {
    const QString stamp = Environment::current().now().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path + QStringLiteral(".damaged-") + stamp;
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        target = base + QLatin1Char('-') + QString::number(n);
    }
    return QDir().rename(path, target);
}

}  // namespace

QString filePath() {
    return AppIdentity::supportDirectory() + QLatin1Char('/') + kFileName;
}

QString legacyFilePath() {
    return AppIdentity::legacySupportDirectory() + QLatin1Char('/') + kFileName;
}

QList<ActivityEvent> list(qsizetype limit) {
    if (limit <= 0) return {};
    return newestFirst(readStored().events, limit);
}

void log(const QString& kind, const QString& summary, qint64 bytesFreed, qint64 itemsAffected) {
    // The read-insert-write must not interleave with another log, in this
    // process or another one, or that one's event would be lost.
    const std::lock_guard<std::mutex> guard(logMutex());
    const FileLock lock(AppIdentity::supportDirectory() + QLatin1Char('/') + kLockName);
    if (!lock.isLocked()) return;
    StoredLog stored = readStored();
    QList<ActivityEvent> events = newestFirst(std::move(stored.events), kReadLimit);

    ActivityEvent event;
    event.id = QUuid::createUuid();
    event.date = Environment::current().now();
    event.kind = kind;
    event.summary = summary;
    event.bytesFreed = bytesFreed;
    event.itemsAffected = itemsAffected;
    events.prepend(std::move(event));

    QJsonArray array;
    for (qsizetype i = 0; i < std::min(events.size(), kMaximumEvents); ++i) array.append(events[i].toJson());
    const QByteArray data = JsonCoding::compact(array);

    const QString path = filePath();
    if (stored.supportFileDamaged && !renameAside(path)) return;
    AtomicFile::write(path, data);
}

LifetimeTotals lifetimeTotals() {
    Saturating::Total bytes;
    Saturating::Total items;
    for (const ActivityEvent& event : list(kReadLimit)) {
        bytes.add(event.bytesFreed);
        items.add(event.itemsAffected);
    }
    return {bytes.value(), items.value()};
}

qint64 lifetimeBytesFreed() {
    return lifetimeTotals().bytesFreed;
}

qint64 lifetimeItems() {
    return lifetimeTotals().items;
}

}  // namespace tarnwick::ActivityService
