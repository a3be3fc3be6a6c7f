#include "services/care/ScheduleService.h"

#include "platform/Environment.h"

#include <QSettings>
#include <QVariant>

namespace tarnwick::ScheduleService {

QString enabledKey() {
    return QStringLiteral("taldo.schedule.enabled");
}

QString hourKey() {
    return QStringLiteral("taldo.schedule.hour");
}

QString lastRunKey() {
    return QStringLiteral("taldo.schedule.lastRun");
}

int hour(const QSettings& settings) {
    const QVariant value = settings.value(hourKey());
    if (!value.isValid()) return 0;
    bool ok = false;
    const qlonglong stored = value.toLongLong(&ok);
    if (!ok) return 0;  // not a number reads as the number 0
    return stored >= 0 && stored <= 23 ? static_cast<int>(stored) : kFallbackHour;
}

bool isEnabled(const QSettings& settings) {
    return settings.value(enabledKey(), false).toBool();
}

std::optional<QDateTime> lastRun() {
    const QVariant value = Environment::current().settings()->value(lastRunKey());
    // Only a stored date counts: a text, even one that reads like a date, is no date.
    if (value.metaType().id() != QMetaType::QDateTime) return std::nullopt;
    const QDateTime date = value.toDateTime();
    if (!date.isValid()) return std::nullopt;
    return date;
}

void setLastRun(const std::optional<QDateTime>& date) {
    const auto settings = Environment::current().settings();
    if (date) {
        settings->setValue(lastRunKey(), *date);
    } else {
        settings->remove(lastRunKey());
    }
}

bool shouldRunNow(const QDateTime& reference) {
    {
        const auto settings = Environment::current().settings();
        if (!isEnabled(*settings)) return false;
        if (reference.toLocalTime().time().hour() != hour(*settings)) return false;
    }
    const std::optional<QDateTime> last = lastRun();
    if (!last) return true;
    return last->toLocalTime().date() != reference.toLocalTime().date();
}

}  // namespace tarnwick::ScheduleService
