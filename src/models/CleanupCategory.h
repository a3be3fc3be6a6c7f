#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

// The card a junk finding belongs to. The raw value is the card's title.
enum class CleanupCategory {
    caches,
    logs,
    temp,
    languages,
    iosBackups,
    photoJunk,
    mail,
    xcode,
    node,
    docker,
    ai,
    leftovers,
    downloads,
    duplicates,
};

// The title shown on the card ("App Caches").
QString rawValue(CleanupCategory category);
// The system symbol name of the card ("internaldrive").
QString icon(CleanupCategory category);
// The one-line description under the title.
QString blurb(CleanupCategory category);
// Exactly the fourteen titles; anything else gives nothing.
std::optional<CleanupCategory> cleanupCategoryFromRawValue(const QString& text);
// Every category in declaration order.
const QList<CleanupCategory>& allCleanupCategories();

}  // namespace tarnwick
