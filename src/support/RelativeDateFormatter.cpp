#include "support/RelativeDateFormatter.h"

#include "platform/Environment.h"

namespace tarnwick::RelativeDateFormatter {

namespace {

constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

// The count and its unit for a distance in whole seconds. The arithmetic is
// calendar-free: a day is always 86,400 seconds, a week 7 days, a month 30
// days and a year 365 days, whatever the time zone, daylight saving or the
// lengths of the actual months. Weeks therefore run up to 4 (28 or 29 days),
// and 360 to 364 days read as 12 months.
QString countAndUnit(qint64 seconds) {
    const auto phrase = [](qint64 count, const char* unit) {
        return QString::number(count) + QLatin1Char(' ') + QLatin1String(unit);
    };
    if (seconds < kMinute) return phrase(seconds, "sec.");
    if (seconds < kHour) return phrase(seconds / kMinute, "min.");
    if (seconds < kDay) return phrase(seconds / kHour, "hr.");
    const qint64 days = seconds / kDay;
    if (days < 7) return phrase(days, days == 1 ? "day" : "days");
    if (days < 30) return phrase(days / 7, "wk.");
    if (days < 365) return phrase(days / 30, "mo.");
    return phrase(days / 365, "yr.");
}

}  // namespace

QString shortPhrase(const QDateTime& date, const QDateTime& reference) {
    if (!date.isValid() || !reference.isValid()) return {};
    // Whole seconds, truncated towards zero: half a second either way is "now".
    const qint64 seconds = date.msecsTo(reference) / 1000;
    if (seconds > 0) return countAndUnit(seconds) + QStringLiteral(" ago");
    return QStringLiteral("in ") + countAndUnit(-seconds);
}

QString shortPhrase(const QDateTime& date) {
    return shortPhrase(date, Environment::current().now());
}

}  // namespace tarnwick::RelativeDateFormatter
