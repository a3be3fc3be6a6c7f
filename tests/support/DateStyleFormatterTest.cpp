#include "support/DateStyleFormatter.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(DateStyleFormatter, AbbreviatedDateDropsTheWeekdayAndShortensTheMonth) {
    const QDate date(2025, 3, 4);
    struct Case {
        QLocale::Language language;
        QLocale::Territory territory;
        const char* text;
    };
    for (const Case& c : {Case{QLocale::English, QLocale::UnitedStates, "Mar 4, 2025"},
                          Case{QLocale::English, QLocale::UnitedKingdom, "4 Mar 2025"},
                          Case{QLocale::Japanese, QLocale::Japan, "2025年3月4日"}}) {
        const QLocale locale(c.language, c.territory);
        EXPECT_EQ(DateStyleFormatter::abbreviatedDate(date, locale), QString::fromUtf8(c.text))
            << locale.name().toStdString() << " " << locale.dateFormat(QLocale::LongFormat).toStdString();
    }
    EXPECT_TRUE(DateStyleFormatter::abbreviatedDate(QDate()).isEmpty());
}

}  // namespace
}  // namespace tarnwick
