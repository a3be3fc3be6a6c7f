#include "support/AppIdentity.h"

#include "platform/Environment.h"

#include <QDir>

namespace tarnwick::AppIdentity {

QString supportDirectory() {
    const QString path = Environment::current().applicationSupport + QStringLiteral("/Tarnwick");
    QDir().mkpath(path);
    return path;
}

QString legacySupportDirectory() {
    return Environment::current().applicationSupport + QStringLiteral("/Taldovane");
}

QUrl websiteURL() {
    static const QUrl url(QStringLiteral("https://tarnwick.app/"));
    return url;
}

}  // namespace tarnwick::AppIdentity
