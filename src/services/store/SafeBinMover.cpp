#include "services/store/SafeBinMover.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/store/SafeBinService.h"
#include "services/store/TrashService.h"
#include "support/FileError.h"
#include "support/PathRules.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwick::SafeBinMover {

namespace {

constexpr qsizetype kNamedInMessage = 3;

// True when a proper ancestor of path is in the set.
bool hasAncestorIn(const QString& path, const QSet<QString>& set) {
    QString ancestor = PathRules::deletingLastPathComponent(path);
    while (!ancestor.isEmpty()) {
        if (set.contains(ancestor)) return true;
        if (ancestor == QLatin1String("/")) break;
        ancestor = PathRules::deletingLastPathComponent(ancestor);
    }
    return false;
}

struct Expanded {
    QStringList paths;      // standardised, in the order named
    bool unreadable = false;  // a contents-only folder could not be listed
};

}  // namespace

std::optional<QStringList> folderEntries(const QString& folder, const QStringList& keptPaths, int* errorNumber) {
    const QByteArray encoded = PathCodec::encode(folder);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errorNumber) *errorNumber = errno;
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        if (errorNumber) *errorNumber = errno;
        ::close(fd);
        return std::nullopt;
    }
    QStringList kept;
    for (const QString& path : keptPaths) kept.append(PathRules::standardizingPath(path));
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.append(PathCodec::decode(std::string_view(entry->d_name)));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    QStringList entries;
    for (const QString& name : std::as_const(names)) {
        const QString path = PathRules::appendingPathComponent(folder, name);
        const bool holdsKept = std::any_of(kept.begin(), kept.end(),
                                           [&](const QString& k) { return PathRules::isSameOrBelow(k, path); });
        if (!holdsKept) entries.append(path);
    }
    return entries;
}

QString pathListText(const QStringList& paths) {
    QStringList named;
    for (qsizetype i = 0; i < paths.size() && i < kNamedInMessage; ++i) {
        named.append(FileError::quoted(PathRules::abbreviatingWithTilde(paths[i])));
    }
    QString text = named.join(QStringLiteral(", "));
    if (paths.size() > kNamedInMessage) {
        text += QStringLiteral(" and ") + QString::number(paths.size() - kNamedInMessage) + QStringLiteral(" more");
    }
    return text;
}

Outcome move(const std::vector<QList<Target>>& findings) {
    Outcome outcome;
    outcome.findings.resize(findings.size());
    QStringList problems;

    // What each finding names, folders' entries listed now.
    std::vector<Expanded> expanded(findings.size());
    for (size_t i = 0; i < findings.size(); ++i) {
        for (const Target& target : findings[i]) {
            const QString path = PathRules::standardizingPath(target.path);
            if (!target.scope.contentsOnly) {
                expanded[i].paths.append(path);
                continue;
            }
            int error = 0;
            const auto entries = folderEntries(path, target.scope.keptPaths, &error);
            if (entries) {
                expanded[i].paths.append(*entries);
            } else if (error != ENOENT) {
                expanded[i].unreadable = true;
                problems.append(QStringLiteral("Could not read ") +
                                FileError::quoted(PathRules::abbreviatingWithTilde(path)) + QStringLiteral(": ") +
                                FileError::systemText(error) + QLatin1Char('.'));
            }
        }
    }

    // Every path once, first come first credited; protected ones stay.
    QStringList allowed;
    QStringList refused;
    QHash<QString, size_t> firstNamedBy;
    for (size_t i = 0; i < findings.size(); ++i) {
        for (const QString& path : std::as_const(expanded[i].paths)) {
            if (firstNamedBy.contains(path)) continue;
            firstNamedBy.insert(path, i);
            (TrashService::canCollect(path) ? allowed : refused).append(path);
        }
    }
    // A path inside another one that moves goes with it.
    const QSet<QString> allowedSet(allowed.begin(), allowed.end());
    QStringList plan;
    for (const QString& path : std::as_const(allowed)) {
        if (!hasAncestorIn(path, allowedSet)) plan.append(path);
    }

    SafeBinMoveResult result;
    if (!plan.isEmpty()) result = SafeBinService::moveToSafeBin(plan);
    for (const SafeBinEntry& entry : result.moved) {
        outcome.movedPaths.append(entry.originalPath);
        const auto owner = firstNamedBy.constFind(PathRules::standardizingPath(entry.originalPath));
        if (owner == firstNamedBy.constEnd()) continue;
        FindingResult& credited = outcome.findings[*owner];
        credited.moved = true;
        credited.movedBytes += entry.size;
        ++credited.movedItems;
    }

    // Gone is gone, whoever moved it (or if nothing was there to begin with).
    for (size_t i = 0; i < findings.size(); ++i) {
        bool cleaned = !expanded[i].unreadable;
        for (const QString& path : std::as_const(expanded[i].paths)) {
            if (FileOperations::itemExists(path)) cleaned = false;
        }
        outcome.findings[i].cleaned = cleaned;
    }

    const QSet<QString> moved(outcome.movedPaths.begin(), outcome.movedPaths.end());
    QStringList stayed;
    for (const QString& path : std::as_const(plan)) {
        if (!moved.contains(path) && FileOperations::itemExists(path)) stayed.append(path);
    }
    // Only what is still there was left alone.
    refused.removeIf([](const QString& path) { return !FileOperations::itemExists(path); });
    QStringList message;
    if (result.error) message.append(result.error->description);
    if (!stayed.isEmpty()) message.append(QStringLiteral("Not moved: ") + pathListText(stayed) + QLatin1Char('.'));
    if (!refused.isEmpty()) {
        message.append(QStringLiteral("Protected path \u2014 not moved: ") + pathListText(refused) + QLatin1Char('.'));
    }
    message.append(problems);
    if (!message.isEmpty()) outcome.error = message.join(QLatin1Char(' '));
    return outcome;
}

}  // namespace tarnwick::SafeBinMover
