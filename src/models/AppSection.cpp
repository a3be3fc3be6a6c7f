#include "models/AppSection.h"

namespace tarnwick {

QString rawValue(AppSection section) {
    switch (section) {
    case AppSection::home: return QStringLiteral("Vidur Aded");
    case AppSection::map: return QStringLiteral("Space Map");
    case AppSection::cleanup: return QStringLiteral("Junk");
    case AppSection::apps: return QStringLiteral("Apps");
    case AppSection::clutter: return QStringLiteral("Clutter");
    case AppSection::performance: return QStringLiteral("Performance");
    case AppSection::protection: return QStringLiteral("Protection");
    case AppSection::insights: return QStringLiteral("Insights");
    case AppSection::activity: return QStringLiteral("Activity");
    case AppSection::safeBin: return QStringLiteral("Safe Bin");
    }
    return {};
}

QString iconName(AppSection section) {
    switch (section) {
    case AppSection::home: return QStringLiteral("heart.text.square.fill");
    case AppSection::map: return QStringLiteral("circle.hexagongrid.fill");
    case AppSection::cleanup: return QStringLiteral("sparkles");
    case AppSection::apps: return QStringLiteral("app.badge.checkmark");
    case AppSection::clutter: return QStringLiteral("square.stack.3d.up");
    case AppSection::performance: return QStringLiteral("gauge.medium");
    case AppSection::protection: return QStringLiteral("shield.lefthalf.filled");
    case AppSection::insights: return QStringLiteral("chart.bar.fill");
    case AppSection::activity: return QStringLiteral("clock.arrow.circlepath");
    case AppSection::safeBin: return QStringLiteral("tray.full.fill");
    }
    return {};
}

std::optional<AppSection> appSectionFromRawValue(const QString& text) {
    for (AppSection section : allAppSections()) {
        if (rawValue(section) == text) return section;
    }
    return std::nullopt;
}

const QList<AppSection>& allAppSections() {
    static const QList<AppSection> sections{
        AppSection::home,        AppSection::map,        AppSection::cleanup,  AppSection::apps,
        AppSection::clutter,     AppSection::performance, AppSection::protection, AppSection::insights,
        AppSection::activity,    AppSection::safeBin,
    };
    return sections;
}

size_t qHash(AppSection section, size_t seed) noexcept {
    return qHash(rawValue(section), seed);
}

}  // namespace tarnwick
