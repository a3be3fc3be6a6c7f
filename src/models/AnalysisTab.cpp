#include "models/AnalysisTab.h"

namespace tarnwick {

QString rawValue(AnalysisTab tab) {
    switch (tab) {
    case AnalysisTab::map: return QStringLiteral("Map");
    case AnalysisTab::largest: return QStringLiteral("Largest");
    case AnalysisTab::oldest: return QStringLiteral("Oldest");
    case AnalysisTab::types: return QStringLiteral("Types");
    }
    return {};
}

std::optional<AnalysisTab> analysisTabFromRawValue(const QString& text) {
    for (AnalysisTab tab : allAnalysisTabs()) {
        if (rawValue(tab) == text) return tab;
    }
    return std::nullopt;
}

const QList<AnalysisTab>& allAnalysisTabs() {
    static const QList<AnalysisTab> tabs{AnalysisTab::map, AnalysisTab::largest, AnalysisTab::oldest, AnalysisTab::types};
    return tabs;
}

size_t qHash(AnalysisTab tab, size_t seed) noexcept {
    return qHash(rawValue(tab), seed);
}

}  // namespace tarnwick
