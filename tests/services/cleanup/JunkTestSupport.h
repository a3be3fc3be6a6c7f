#pragma once

#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkFinding.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <QLocale>
#include <QStringList>
#include <gtest/gtest.h>

#include <vector>

namespace tarnwick::test {

// A fake home and root with a fixed clock and US English dates.
class JunkTest : public ::testing::Test {
protected:
    JunkTest() {
        previousLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        env.setNow(now);
    }
    ~JunkTest() override { QLocale::setDefault(previousLocale_); }

    QString home(const QString& relative) const { return env.home() + QLatin1Char('/') + relative; }
    QString root(const QString& absolute) const { return env.root() + absolute; }
    JunkContext context() const { return JunkContext(Environment::current()); }
    // A time the given number of seconds before now.
    QDateTime ago(qint64 seconds) const { return now.addSecs(-seconds); }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    FakeEnvironment env;

private:
    QLocale previousLocale_;
};

inline QStringList titlesOf(const std::vector<JunkFinding>& findings) {
    QStringList titles;
    for (const JunkFinding& finding : findings) titles.append(finding.item.title);
    return titles;
}

}  // namespace tarnwick::test
