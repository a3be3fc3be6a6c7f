#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

// The tabs of the map screen: the map itself and the three insights lists.
// The raw values double as the tab titles.
enum class AnalysisTab {
    map,      // "Map"
    largest,  // "Largest"
    oldest,   // "Oldest"
    types,    // "Types"
};

QString rawValue(AnalysisTab tab);
// Exactly one of the four titles (case-sensitive); anything else gives nothing.
std::optional<AnalysisTab> analysisTabFromRawValue(const QString& text);
// The four tabs in tab-bar order.
const QList<AnalysisTab>& allAnalysisTabs();

size_t qHash(AnalysisTab tab, size_t seed = 0) noexcept;

}  // namespace tarnwick
