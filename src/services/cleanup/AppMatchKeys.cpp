#include "services/cleanup/AppMatchKeys.h"

namespace tarnwick {

namespace {

// At least two non-empty parts: "com.example", not "com", ".com" or "com.".
bool isDotted(const QString& identifier) {
    const qsizetype dot = identifier.indexOf(QLatin1Char('.'));
    return dot > 0 && dot < identifier.size() - 1;
}

}  // namespace

AppMatchKeys::AppMatchKeys(const QString& name, const std::optional<QString>& bundleId)
    : nameKey_(name.toLower()), bundleId_(bundleId) {
    spacelessKey_ = nameKey_;
    spacelessKey_.remove(QLatin1Char(' '));
    if (bundleId_ && bundleId_->isEmpty()) bundleId_.reset();
}

bool AppMatchKeys::claims(const QString& entryName) const {
    const QString lowered = entryName.toLower();
    for (const QString* key : {&nameKey_, &spacelessKey_}) {
        if (key->size() >= kShortestNameKey && lowered.contains(*key)) return true;
    }
    return claimsByIdentifier(entryName);
}

bool AppMatchKeys::claimsByIdentifier(const QString& entryName) const {
    return bundleId_ && hasIdentifierPrefix(entryName, *bundleId_);
}

bool AppMatchKeys::hasIdentifierPrefix(const QString& entryName, const QString& identifier) {
    if (identifier.isEmpty()) return false;
    if (entryName == identifier) return true;
    if (!isDotted(identifier) || !entryName.startsWith(identifier, Qt::CaseInsensitive)) return false;
    return entryName.size() == identifier.size() || entryName.at(identifier.size()) == QLatin1Char('.');
}

}  // namespace tarnwick
