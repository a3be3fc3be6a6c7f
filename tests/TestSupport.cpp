#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarnwick::test {

FakeEnvironment::FakeEnvironment() {
    environment_ = Environment::system();
    environment_.homeDirectory = makeDir(dir_.path() + QStringLiteral("/home/user"));
    environment_.rootPrefix = makeDir(dir_.path() + QStringLiteral("/root"));
    environment_.tempDirectory = makeDir(dir_.path() + QStringLiteral("/tmp"));
    environment_.applicationSupport = makeDir(environment_.homeDirectory + QStringLiteral("/.local/share"));
    environment_.settingsFile = dir_.path() + QStringLiteral("/settings.ini");
    environment_.variables.clear();  // the machine's XDG folders never leak into a test
    apply();
}

QString FakeEnvironment::path(const QString& relative) const {
    return relative.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + relative;
}

void FakeEnvironment::apply() {
    scope_.reset();
    scope_ = std::make_unique<Environment::Scope>(environment_);
}

void FakeEnvironment::setNow(const QDateTime& now) {
    environment_.clock = [now] { return now; };
    apply();
}

QString writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(contents);
    return path;
}

QString writeScript(const QString& path, const QByteArray& body) {
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString makeDir(const QString& path) {
    QDir().mkpath(path);
    return path;
}

QString dataPath(const QString& relative) {
    return QStringLiteral(TARNWICK_TEST_DATA_DIR) + QLatin1Char('/') + relative;
}

}  // namespace tarnwick::test
