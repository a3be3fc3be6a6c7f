#include "services/cleanup/JunkResults.h"

#include "platform/FileEntry.h"
#include "services/store/MemoryBudget.h"
#include "support/AppIdentity.h"
#include "support/PathRules.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

namespace tarnwick::CleanupService {

namespace {

constexpr qint64 kSmallest = 100000;  // findings of this size or less are not listed

void keepEntry(JunkFinding& finding, const QString& entryPath) {
    MoveScope& scope = finding.item.scope;
    scope.contentsOnly = true;
    if (scope.keptPaths.contains(entryPath)) return;
    scope.keptPaths.append(entryPath);
    for (const JunkFinding::Part& part : finding.parts) {
        if (part.path == entryPath) {
            finding.item.size = std::max<qint64>(0, finding.item.size - part.bytes);
            break;
        }
    }
}

void dropSmall(std::vector<JunkFinding>& findings) {
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [](const JunkFinding& f) { return f.item.size <= kSmallest; }),
                   findings.end());
}

}  // namespace

void separateNested(std::vector<JunkFinding>& findings, const QStringList& alwaysKept) {
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [&](const JunkFinding& f) {
                                      return std::any_of(alwaysKept.begin(), alwaysKept.end(), [&](const QString& own) {
                                          return PathRules::isSameOrBelow(f.item.path, own);
                                      });
                                  }),
                   findings.end());
    for (JunkFinding& outer : findings) {
        if (!outer.isFolder) continue;
        const QString prefix = outer.item.path + QLatin1Char('/');
        for (const QString& own : alwaysKept) {
            if (!own.startsWith(prefix)) continue;
            const qsizetype slash = own.indexOf(QLatin1Char('/'), prefix.size());
            keepEntry(outer, slash < 0 ? own : own.left(slash));
        }
    }
    std::vector<size_t> byPath(findings.size());
    for (size_t i = 0; i < byPath.size(); ++i) byPath[i] = i;
    std::sort(byPath.begin(), byPath.end(),
              [&](size_t a, size_t b) { return findings[a].item.path < findings[b].item.path; });
    for (JunkFinding& outer : findings) {
        if (!outer.isFolder) continue;
        const QString prefix = outer.item.path + QLatin1Char('/');
        auto it = std::lower_bound(byPath.begin(), byPath.end(), prefix,
                                   [&](size_t index, const QString& key) { return findings[index].item.path < key; });
        for (; it != byPath.end() && findings[*it].item.path.startsWith(prefix); ++it) {
            const QString& inner = findings[*it].item.path;
            const qsizetype slash = inner.indexOf(QLatin1Char('/'), prefix.size());
            keepEntry(outer, slash < 0 ? inner : inner.left(slash));
        }
    }
}

void guardOwnership(std::vector<JunkFinding>& findings, const JunkContext& context) {
    std::vector<JunkFinding> kept;
    kept.reserve(findings.size());
    for (JunkFinding& finding : findings) {
        if (PathRules::isSameOrBelow(finding.item.path, context.home)) {
            kept.push_back(std::move(finding));
            continue;
        }
        if (finding.item.scope.contentsOnly) {
            for (const JunkFinding::Part& part : finding.parts) {
                if (part.owner != context.userId) keepEntry(finding, part.path);
            }
            kept.push_back(std::move(finding));
            continue;
        }
        const std::optional<FileEntry> entry = FileEntry::at(finding.item.path);
        if (entry && entry->owner == context.userId) kept.push_back(std::move(finding));
    }
    findings = std::move(kept);
}

QList<CleanupItem> finishScan(std::vector<JunkFinding> findings, const JunkContext& context) {
    dropSmall(findings);
    separateNested(findings, {AppIdentity::supportDirectory(), AppIdentity::legacySupportDirectory()});
    guardOwnership(findings, context);
    dropSmall(findings);
    QList<CleanupItem> items;
    items.reserve(static_cast<qsizetype>(findings.size()));
    for (JunkFinding& finding : findings) items.append(std::move(finding.item));
    std::stable_sort(items.begin(), items.end(), [](const CleanupItem& a, const CleanupItem& b) { return a.size > b.size; });
    return MemoryBudget::trimCleanup(items);
}

}  // namespace tarnwick::CleanupService
