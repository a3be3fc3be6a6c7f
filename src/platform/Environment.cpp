#include "platform/Environment.h"

#include "platform/PathCodec.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <mutex>

namespace tarnwick {

namespace {

std::mutex& environmentMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const Environment>& currentEnvironment() {
    static std::shared_ptr<const Environment> environment =
        std::make_shared<const Environment>(Environment::system());
    return environment;
}

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    return path;
}

}  // namespace

QDateTime Environment::now() const {
    return clock ? clock() : QDateTime::currentDateTimeUtc();
}

Environment::Uptime Environment::uptime() const {
    if (uptimeClock) return uptimeClock();
    static const QByteArray boot = [] {
        char text[64] = {};
        const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
        ssize_t length = 0;
        if (fd >= 0) {
            length = ::read(fd, text, sizeof text - 1);
            ::close(fd);
        }
        // Without an identifier every reading counts as a new start: the clock is then not trusted.
        return length > 0 ? QByteArray(text, length).trimmed() : QByteArray();
    }();
    struct timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return {boot, qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000};
}

QString Environment::variable(const QString& name) const {
    return variables.value(name);
}

QString Environment::messagesLocale() const {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = variable(QString::fromLatin1(name));
        if (!value.isEmpty()) return value;
    }
    return QString();
}

quint32 Environment::effectiveUserId() const {
    return userId >= 0 ? static_cast<quint32>(userId) : static_cast<quint32>(::geteuid());
}

QString Environment::systemPath(const QString& absolutePath) const {
    if (rootPrefix.isEmpty() || !absolutePath.startsWith(QLatin1Char('/'))) return absolutePath;
    return withoutTrailingSlash(rootPrefix) + absolutePath;
}

QString Environment::homePath(const QString& relativePath) const {
    QString rest = relativePath;
    if (rest == QLatin1String("~")) return homeDirectory;
    if (rest.startsWith(QLatin1String("~/"))) rest = rest.mid(2);
    while (rest.startsWith(QLatin1Char('/'))) rest = rest.mid(1);
    if (rest.isEmpty()) return homeDirectory;
    return withoutTrailingSlash(homeDirectory) + QLatin1Char('/') + rest;
}

QString Environment::toolPath(const QString& usualPath) const {
    auto it = toolPaths.constFind(usualPath);
    if (it != toolPaths.constEnd()) return it.value();
    return systemPath(usualPath);
}

std::unique_ptr<QSettings> Environment::settings() const {
    if (settingsFile.isEmpty()) return std::make_unique<QSettings>(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"));
    return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
}

Environment Environment::system() {
    Environment environment;
    environment.homeDirectory = withoutTrailingSlash(QDir::homePath());
    environment.tempDirectory = withoutTrailingSlash(QDir::tempPath());
    QString support = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (support.isEmpty()) support = environment.homeDirectory + QStringLiteral("/.local/share");
    environment.applicationSupport = withoutTrailingSlash(support);
    for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CURRENT_DESKTOP", "PATH"}) {
        if (qEnvironmentVariableIsSet(name)) {
            environment.variables.insert(QString::fromLatin1(name), PathCodec::decode(qgetenv(name)));
        }
    }
    // The C library treats an empty locale variable as unset, and so does this.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            environment.variables.insert(QString::fromLatin1(name), QString::fromLocal8Bit(qgetenv(name)));
        }
    }
    return environment;
}

const Environment& Environment::current() {
    std::lock_guard<std::mutex> lock(environmentMutex());
    return *currentEnvironment();
}

void Environment::setCurrent(const Environment& environment) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    currentEnvironment() = std::make_shared<const Environment>(environment);
}

Environment::Scope::Scope(const Environment& environment) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    previous_ = currentEnvironment();
    currentEnvironment() = std::make_shared<const Environment>(environment);
}

Environment::Scope::~Scope() {
    std::lock_guard<std::mutex> lock(environmentMutex());
    currentEnvironment() = previous_;
}

}  // namespace tarnwick
