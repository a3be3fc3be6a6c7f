#pragma once

#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkFinding.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick::test {

// The bytes the file at path takes on disk.
inline qint64 onDisk(const QString& path) {
    struct stat st {};
    if (::lstat(PathCodec::encode(path).constData(), &st) != 0) return 0;
    return qint64(st.st_blocks) * 512;
}

// A fake home and root with a fixed clock and US English dates.
class JunkTest : public ::testing::Test {
protected:
    JunkTest() {
        previousLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        env.setNow(now);
    }
    ~JunkTest() override { QLocale::setDefault(previousLocale_); }

    QString home(const QString& relative) const { return env.home(relative); }
    QString root(const QString& absolute) const { return env.root() + absolute; }
    JunkContext context() const { return JunkContext(Environment::current()); }
    // A time the given number of seconds before now.
    QDateTime ago(qint64 seconds) const { return now.addSecs(-seconds); }

    // Two hours on: files a test writes changed before the hour in which a
    // folder's entries count as in use (tests that need a recent change say so).
    const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(7200);
    FakeEnvironment env;

private:
    QLocale previousLocale_;
};

}  // namespace tarnwick::test
