#include "TestSupport.h"

#include "platform/FileOperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

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

FakeEnvironment::~FakeEnvironment() {
    scope_.reset();
    for (const QString& name : QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        FileOperations::removeItem(dir_.path() + QLatin1Char('/') + name);
    }
}

ProcessVariable::ProcessVariable(const char* name, const std::optional<QByteArray>& value) : name_(name) {
    if (qEnvironmentVariableIsSet(name)) previous_ = qgetenv(name);
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

ProcessVariable::~ProcessVariable() {
    if (previous_) {
        qputenv(name_.constData(), *previous_);
    } else {
        qunsetenv(name_.constData());
    }
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
    environment_.uptimeClock = [now] { return Environment::Uptime{"test", now.toMSecsSinceEpoch()}; };
    apply();
}

void FakeEnvironment::jumpClock(const QDateTime& now) {
    environment_.clock = [now] { return now; };
    apply();
}

QString FakeEnvironment::tool(const QString& usualPath, const QByteArray& body) {
    const QString script = writeScript(path(QStringLiteral("bin/") + usualPath.section(QLatin1Char('/'), -1)), body);
    environment_.toolPaths.insert(usualPath, script);
    apply();
    return script;
}

void FakeEnvironment::noTool(const QString& usualPath) {
    environment_.toolPaths.insert(usualPath, path(QStringLiteral("bin/missing-") + usualPath.section(QLatin1Char('/'), -1)));
    apply();
}

ScratchFileSystem::ScratchFileSystem(const QString& mountPoint, qint64 bytes) : mountPoint_(mountPoint) {
    QDir().mkpath(mountPoint);
    if (::geteuid() != 0) return;
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    mounted_ = ::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                       options.constData()) == 0;
}

ScratchFileSystem::~ScratchFileSystem() {
    if (mounted_) ::umount2(QFile::encodeName(mountPoint_).constData(), MNT_DETACH);
}

QString ScratchFileSystem::path(const QString& relative) const {
    return relative.isEmpty() ? mountPoint_ : mountPoint_ + QLatin1Char('/') + relative;
}

QString ScratchFileSystem::fill(const QString& name) {
    const QString filler = path(name);
    const int fd = ::open(QFile::encodeName(filler).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) return filler;
    const std::vector<char> block(4096, 'f');
    for (;;) {
        if (::write(fd, block.data(), block.size()) <= 0) break;
    }
    // Whatever is left below a page.
    while (::write(fd, block.data(), 1) == 1) {
    }
    ::close(fd);
    return filler;
}

BindMount::BindMount(const QString& source, const QString& target) : target_(target) {
    if (::geteuid() != 0) return;
    mounted_ = ::mount(QFile::encodeName(source).constData(), QFile::encodeName(target).constData(), nullptr, MS_BIND,
                       nullptr) == 0;
}

BindMount::~BindMount() {
    if (mounted_) ::umount2(QFile::encodeName(target_).constData(), MNT_DETACH);
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
