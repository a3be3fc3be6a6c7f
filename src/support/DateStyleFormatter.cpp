#include "support/DateStyleFormatter.h"

#include <QStringList>

#include <algorithm>

namespace tarnwick::DateStyleFormatter {

namespace {

bool isPatternLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// Splits a date pattern into fields (runs of one letter), quoted literals and
// the other characters between them.
QStringList tokens(const QString& pattern) {
    QStringList parts;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern.at(i);
        qsizetype end = i + 1;
        if (c == QLatin1Char('\'')) {
            while (end < pattern.size() && pattern.at(end) != QLatin1Char('\'')) ++end;
            end = std::min(end + 1, pattern.size());
        } else if (isPatternLetter(c)) {
            while (end < pattern.size() && pattern.at(end) == c) ++end;
        } else {
            while (end < pattern.size() && !isPatternLetter(pattern.at(end)) && pattern.at(end) != QLatin1Char('\'')) {
                ++end;
            }
        }
        parts.append(pattern.mid(i, end - i));
        i = end;
    }
    return parts;
}

bool isWeekday(const QString& token) {
    return token.size() >= 3 && token.at(0) == QLatin1Char('d') && token.count(QLatin1Char('d')) == token.size();
}

// Blanks and punctuation between fields (", ", " - "); other literal text
// ("日" in Japanese) belongs to the field before it and stays.
bool isSeparator(const QString& token) {
    if (token.isEmpty() || token.at(0) == QLatin1Char('\'')) return false;
    return std::all_of(token.begin(), token.end(), [](QChar c) { return c.isSpace() || c.isPunct(); });
}

}  // namespace

QString abbreviatedDatePattern(const QLocale& locale) {
    QStringList parts = tokens(locale.dateFormat(QLocale::LongFormat));
    for (qsizetype i = 0; i < parts.size();) {
        if (!isWeekday(parts.at(i))) {
            if (parts.at(i) == QLatin1String("MMMM")) parts[i] = QStringLiteral("MMM");
            ++i;
            continue;
        }
        // The weekday goes with the separator that joins it to the rest.
        if (i + 1 < parts.size() && isSeparator(parts.at(i + 1))) {
            parts.remove(i, 2);
        } else if (i > 0 && isSeparator(parts.at(i - 1))) {
            parts.remove(i - 1, 2);
            --i;
        } else {
            parts.remove(i);
        }
    }
    return parts.join(QString()).trimmed();
}

QString abbreviatedDate(const QDate& date, const QLocale& locale) {
    if (!date.isValid()) return QString();
    return locale.toString(date, abbreviatedDatePattern(locale));
}

}  // namespace tarnwick::DateStyleFormatter
