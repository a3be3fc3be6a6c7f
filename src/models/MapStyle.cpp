#include "models/MapStyle.h"

namespace tarnwick {

QString rawValue(MapStyle style) {
    switch (style) {
    case MapStyle::sunburst: return QStringLiteral("Sunburst");
    case MapStyle::treemap: return QStringLiteral("Treemap");
    case MapStyle::bars: return QStringLiteral("Bars");
    case MapStyle::rings: return QStringLiteral("Rings");
    }
    return {};
}

std::optional<MapStyle> mapStyleFromRawValue(const QString& text) {
    for (MapStyle style : allMapStyles()) {
        if (rawValue(style) == text) return style;
    }
    return std::nullopt;
}

const QList<MapStyle>& allMapStyles() {
    static const QList<MapStyle> styles{MapStyle::sunburst, MapStyle::treemap, MapStyle::bars, MapStyle::rings};
    return styles;
}

size_t qHash(MapStyle style, size_t seed) noexcept {
    return qHash(rawValue(style), seed);
}

}  // namespace tarnwick
