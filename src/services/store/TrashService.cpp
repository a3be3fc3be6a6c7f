#include "services/store/TrashService.h"

#include "platform/Environment.h"
#include "platform/FileOperations.h"
#include "support/AppIdentity.h"
#include "support/PathRules.h"

#include <QStringList>

namespace tarnwick::TrashService {

namespace {

// Refused when equal or below. These are the real machine's folders, never
// taken relative to a test root.
const QStringList& protectedRoots() {
    static const QStringList roots = {
        QStringLiteral("/System"),       QStringLiteral("/usr"),
        QStringLiteral("/bin"),          QStringLiteral("/sbin"),
        QStringLiteral("/private/var/db"), QStringLiteral("/Applications/Tarnwick.app"),
        QStringLiteral("/Applications/Taldovane.app"), QStringLiteral("/Library"),
        QStringLiteral("/etc"),          QStringLiteral("/boot"),
        QStringLiteral("/lib"),          QStringLiteral("/lib32"),
        QStringLiteral("/lib64"),        QStringLiteral("/proc"),
        QStringLiteral("/sys"),          QStringLiteral("/dev"),
        QStringLiteral("/run"),          QStringLiteral("/var/lib"),
    };
    return roots;
}

void addForms(QStringList& into, const QString& path) {
    const QString standard = PathRules::standardizingPath(path);
    if (standard.isEmpty()) return;
    into.append(standard);
    const QString resolved = FileOperations::resolvingAllLinks(standard);
    if (resolved != standard) into.append(resolved);
}

}  // namespace

bool canCollect(const QString& path) {
    const QString standard = PathRules::standardizingPath(path);
    if (!standard.startsWith(QLatin1Char('/'))) return false;

    QStringList candidates{standard};
    const QString resolved = FileOperations::resolvingParentLinks(standard);
    if (resolved != standard) candidates.append(resolved);

    QStringList equalOnly{QStringLiteral("/")};
    addForms(equalOnly, Environment::current().homeDirectory);

    QStringList below = protectedRoots();
    addForms(below, AppIdentity::supportDirectory());
    addForms(below, AppIdentity::legacySupportDirectory());

    for (const QString& candidate : candidates) {
        if (equalOnly.contains(candidate)) return false;
        for (const QString& root : below) {
            if (PathRules::isSameOrBelow(candidate, root)) return false;
        }
    }
    return true;
}

}  // namespace tarnwick::TrashService
