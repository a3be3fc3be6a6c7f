#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace tarnwick {

// Dates in the platform's named styles, in the given locale.
namespace DateStyleFormatter {

// The abbreviated date style: the locale's long date without the weekday and
// with the month's short name ("Mar 4, 2025" in US English, "4 Mar 2025" in
// British English). Empty for an invalid date.
QString abbreviatedDate(const QDate& date, const QLocale& locale = QLocale());

// The pattern abbreviatedDate() uses for a locale ("MMM d, yyyy").
QString abbreviatedDatePattern(const QLocale& locale);

}  // namespace DateStyleFormatter

}  // namespace tarnwick
