#include "services/cleanup/JunkResults.h"

#include "platform/FileEntry.h"
#include "services/cleanup/JunkMeasure.h"
#include "services/store/MemoryBudget.h"
#include "support/ByteCountFormatter.h"
#include "support/PathRules.h"

#include <QLocale>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace tarnwick::CleanupService {

namespace {

constexpr qint64 kSmallest = 100000;  // findings of this size or less are not listed

// The outer folder keeps its direct entry that is or holds path.
void keepEntryHolding(JunkFinding& outer, const QString& path) {
    for (JunkFinding::Part& part : outer.parts) {
        if (PathRules::isSameOrBelow(path, part.path)) part.kept = true;
    }
}

// A folder cleaned by its entries whose entries in use stay is kept for
// what it says about them, whatever it moves; so is one measured in part
// that offers entries or leaves some in use unmeasured: what its walk did
// not reach may hold any number of bytes.
void dropSmall(std::vector<JunkFinding>& findings, qint64 inUseSinceMSecs) {
    std::erase_if(findings, [&](const JunkFinding& f) {
        if (f.item.size > kSmallest) return false;
        if (!f.item.scope.contentsOnly) return true;
        if (f.item.scope.inUseBytes > kSmallest) return false;
        const bool tellsOfMore = f.measuredInPart && std::any_of(f.parts.begin(), f.parts.end(), [&](const JunkFinding::Part& part) {
            return !part.kept || (part.keptInUse(inUseSinceMSecs) && !part.complete);
        });
        return !tellsOfMore;
    });
}

// "“~/a”, “~/b”, “~/c” and 2 more".
QString pathsText(const QStringList& paths) {
    constexpr qsizetype kNamed = 3;
    QStringList named;
    for (qsizetype i = 0; i < paths.size() && i < kNamed; ++i) {
        named.append(QStringLiteral("\u201C") + PathRules::abbreviatingWithTilde(paths[i]) + QStringLiteral("\u201D"));
    }
    QString text = named.join(QStringLiteral(", "));
    if (paths.size() > kNamed) text += QStringLiteral(" and ") + QString::number(paths.size() - kNamed) + QStringLiteral(" more");
    return text;
}

// What stays as in use: its bytes as measured, and the entries not measured whole.
QString inUseText(qint64 bytes, const QStringList& unmeasured) {
    const QString stays = QStringLiteral(" in use or changed in the last hour stays");
    if (unmeasured.isEmpty()) return ByteCountFormatter::fileStyle(bytes) + stays;
    if (bytes == 0) return pathsText(unmeasured) + stays + QStringLiteral(", not measured");
    return ByteCountFormatter::fileStyle(bytes) + stays + QStringLiteral(", with ") + pathsText(unmeasured) +
           QStringLiteral(" not measured");
}

// A folder cleaned by its entries counts and moves only those not kept, and
// says what stays in use. One that moves nothing is not pre-selected.
void settleContents(std::vector<JunkFinding>& findings, const JunkContext& context) {
    for (JunkFinding& finding : findings) {
        CleanupItem& item = finding.item;
        const bool byEntries = item.scope.contentsOnly;
        if (byEntries) {
            item.scope = JunkMeasure::contentsScope(finding.parts);
            item.scope.measuredAtMSecs = context.now.toMSecsSinceEpoch();
            item.scope.inUseBytes = JunkMeasure::inUseBytes(finding.parts, context.inUseSinceMSecs());
            item.scope.inUseUnmeasured = JunkMeasure::inUseUnmeasured(finding.parts, context.inUseSinceMSecs());
            item.size = JunkMeasure::movableBytes(finding.parts);
            if (item.size == 0) item.isSelected = item.isSafeDefault = false;
        }
        if (finding.isFolder && finding.measuredInPart) {
            item.detail += byEntries && item.size > 0 ? QStringLiteral(" \u00B7 measured in part: at least ") +
                                                            ByteCountFormatter::fileStyle(item.size)
                                                      : QStringLiteral(" \u00B7 measured in part");
        }
        if (byEntries && finding.notListed > 0) {
            // Not offered now: a later scan reaches them.
            item.detail += QStringLiteral(" \u00B7 ") + QLocale().toString(finding.notListed) +
                           (finding.notListed == 1 ? QStringLiteral(" entry not looked at stays")
                                                   : QStringLiteral(" entries not looked at stay"));
        }
        if (byEntries && (item.scope.inUseBytes > 0 || !item.scope.inUseUnmeasured.isEmpty())) {
            item.detail += QStringLiteral(" \u00B7 ") + inUseText(item.scope.inUseBytes, item.scope.inUseUnmeasured);
        }
    }
}

}  // namespace

void leaveOutOwnFolders(std::vector<JunkFinding>& findings, const JunkContext& context) {
    std::erase_if(findings, [&](JunkFinding& finding) {
        if (context.isOwn(finding.item.path)) return true;
        if (!finding.isFolder || !context.holdsOwn(finding.item.path)) return false;
        if (!finding.item.scope.contentsOnly) return true;
        for (JunkFinding::Part& part : finding.parts) {
            if (context.isOwn(part.path) || context.holdsOwn(part.path)) part.kept = true;
        }
        return false;
    });
}

void guardOwnership(std::vector<JunkFinding>& findings, const JunkContext& context) {
    std::erase_if(findings, [&](JunkFinding& finding) {
        if (PathRules::isSameOrBelow(finding.item.path, context.home)) return false;
        if (finding.item.scope.contentsOnly) {
            for (JunkFinding::Part& part : finding.parts) {
                if (part.owner != context.userId) part.kept = true;
            }
            return false;
        }
        const std::optional<FileEntry> entry = FileEntry::at(finding.item.path);
        return !entry || entry->owner != context.userId;
    });
}

void separateNested(std::vector<JunkFinding>& findings) {
    // Whole folders that cannot move whole go first, so what they hold stays offered.
    // A mount point is never a finding that moves whole.
    std::erase_if(findings, [](const JunkFinding& f) {
        return f.isFolder && !f.item.scope.contentsOnly && (f.holdsMount || f.isMountPoint);
    });
    QSet<QString> seen;
    std::erase_if(findings, [&](const JunkFinding& f) {
        const QString path = PathRules::standardizingPath(f.item.path);
        if (seen.contains(path)) return true;
        seen.insert(path);
        return false;
    });

    std::vector<size_t> byPath(findings.size());
    for (size_t i = 0; i < byPath.size(); ++i) byPath[i] = i;
    std::sort(byPath.begin(), byPath.end(),
              [&](size_t a, size_t b) { return findings[a].item.path < findings[b].item.path; });
    std::vector<bool> inside(findings.size(), false);
    for (JunkFinding& outer : findings) {
        if (!outer.isFolder) continue;
        const QString prefix = outer.item.path + QLatin1Char('/');
        auto it = std::lower_bound(byPath.begin(), byPath.end(), prefix,
                                   [&](size_t index, const QString& key) { return findings[index].item.path < key; });
        for (; it != byPath.end() && findings[*it].item.path.startsWith(prefix); ++it) {
            if (outer.item.scope.contentsOnly) {
                keepEntryHolding(outer, findings[*it].item.path);
            } else {
                inside[*it] = true;
            }
        }
    }
    std::vector<JunkFinding> kept;
    kept.reserve(findings.size());
    for (size_t i = 0; i < findings.size(); ++i) {
        if (!inside[i]) kept.push_back(std::move(findings[i]));
    }
    findings = std::move(kept);
}

QList<CleanupItem> finishScan(std::vector<JunkFinding> findings, const JunkContext& context) {
    dropSmall(findings, context.inUseSinceMSecs());
    leaveOutOwnFolders(findings, context);
    guardOwnership(findings, context);
    separateNested(findings);
    settleContents(findings, context);
    dropSmall(findings, context.inUseSinceMSecs());
    QList<CleanupItem> items;
    items.reserve(static_cast<qsizetype>(findings.size()));
    for (JunkFinding& finding : findings) items.append(std::move(finding.item));
    std::stable_sort(items.begin(), items.end(), [](const CleanupItem& a, const CleanupItem& b) { return a.size > b.size; });
    return MemoryBudget::trimCleanup(items);
}

}  // namespace tarnwick::CleanupService
