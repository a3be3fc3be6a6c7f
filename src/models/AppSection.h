#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

// The sections of the main window, in the order the navigation rail lists
// them. A section is identified by its title (its raw value).
enum class AppSection {
    home,         // "Vidur Aded"
    map,          // "Space Map"
    cleanup,      // "Junk"
    apps,         // "Apps"
    clutter,      // "Clutter"
    performance,  // "Performance"
    protection,   // "Protection"
    insights,     // "Insights"
    activity,     // "Activity"
    safeBin,      // "Safe Bin"
};

// The title, which is also the section's identity.
QString rawValue(AppSection section);
// The name of the section's symbol ("heart.text.square.fill").
QString iconName(AppSection section);
// Exactly one of the ten titles as written (case and spaces included); anything else gives nothing.
std::optional<AppSection> appSectionFromRawValue(const QString& text);
// The ten sections in rail order.
const QList<AppSection>& allAppSections();

size_t qHash(AppSection section, size_t seed = 0) noexcept;

}  // namespace tarnwick
