#include "models/CleanupCategory.h"

#include <iterator>

namespace tarnwick {

namespace {

struct CategoryTexts {
    CleanupCategory category;
    const char* rawValue;
    const char* icon;
    const char* blurb;
};

// One row per case, in declaration order.
constexpr CategoryTexts kTexts[] = {
    {CleanupCategory::caches, "App Caches", "internaldrive", "Safe to clear — apps rebuild caches as needed"},
    {CleanupCategory::logs, "Logs", "doc.text", "Diagnostic logs that grow quietly"},
    {CleanupCategory::temp, "Temp / Incomplete", "hourglass", "Temporary files and incomplete downloads"},
    {CleanupCategory::languages, "Unused Languages", "globe", "Extra .lproj localization bundles inside apps"},
    {CleanupCategory::iosBackups, "iOS Backups", "iphone", "Local iPhone / iPad backups in MobileSync"},
    {CleanupCategory::photoJunk, "Photo Junk", "photo", "Photos app caches and repair thumbnails"},
    {CleanupCategory::mail, "Mail Attachments", "envelope", "Large Mail download folders"},
    {CleanupCategory::xcode, "Xcode / Simulators", "hammer", "DerivedData & device support — Xcode rebuilds these"},
    {CleanupCategory::node, "node_modules", "shippingbox", "Dependency folders from old projects"},
    {CleanupCategory::docker, "Docker", "shippingbox.and.arrow.backward", "Docker disk image / VM data"},
    {CleanupCategory::ai, "AI Models", "brain", "Local LLM weights (Ollama, HF, LM Studio)"},
    {CleanupCategory::leftovers, "App Leftovers", "app.badge.checkmark", "Support folders for apps no longer installed"},
    {CleanupCategory::downloads, "Old Downloads", "arrow.down.circle", "Installers & archives older than 30 days"},
    {CleanupCategory::duplicates, "Duplicates", "doc.on.doc", "Same-size files with matching content fingerprint"},
};

static_assert(std::size(kTexts) == 14, "one row per category");

const CategoryTexts& textsOf(CleanupCategory category) {
    return kTexts[static_cast<int>(category)];
}

}  // namespace

QString rawValue(CleanupCategory category) {
    return QString::fromUtf8(textsOf(category).rawValue);
}

QString icon(CleanupCategory category) {
    return QString::fromUtf8(textsOf(category).icon);
}

QString blurb(CleanupCategory category) {
    return QString::fromUtf8(textsOf(category).blurb);
}

std::optional<CleanupCategory> cleanupCategoryFromRawValue(const QString& text) {
    for (const CategoryTexts& row : kTexts) {
        if (text == QString::fromUtf8(row.rawValue)) return row.category;
    }
    return std::nullopt;
}

const QList<CleanupCategory>& allCleanupCategories() {
    static const QList<CleanupCategory> all = [] {
        QList<CleanupCategory> list;
        for (const CategoryTexts& row : kTexts) list.append(row.category);
        return list;
    }();
    return all;
}

}  // namespace tarnwick
