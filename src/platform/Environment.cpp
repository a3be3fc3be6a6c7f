#include "platform/Environment.h"

#include "platform/PathCodec.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

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

QString Environment::variable(const QString& name) const {
    return variables.value(name);
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
