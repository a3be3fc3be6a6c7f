#include "services/cleanup/ClutterService.h"

#include "services/cleanup/ClutterSearches.h"
#include "services/cleanup/JunkContext.h"
#include "services/store/MemoryBudget.h"

#include <QStringList>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <vector>

namespace tarnwick::ClutterService {

namespace {

using Place = Locations::Place;

constexpr qint64 kItemMinimum = 50000;

// The paths of the places, in order, each once (two places can be one folder here).
QStringList folders(const JunkContext& context, std::initializer_list<Place> places) {
    QStringList paths;
    for (Place place : places) {
        const QString path = context.locations.path(place);
        if (!path.isEmpty() && !paths.contains(path)) paths.append(path);
    }
    return paths;
}

struct Step {
    const char* label;
    std::function<QList<ClutterItem>(const JunkContext& context)> search;
};

const std::vector<Step>& steps() {
    static const std::vector<Step> table = {
        {"Checking Trash\u2026",
         [](const JunkContext& c) { return trashItems(c.locations.path(Place::trash), c); }},
        {"Checking Downloads\u2026",
         [](const JunkContext& c) { return oldDownloads(c.locations.path(Place::downloads), c); }},
        {"Finding screenshots\u2026",
         [](const JunkContext& c) {
             return screenshots(folders(c, {Place::desktop, Place::pictures, Place::screenshots, Place::downloads}), c);
         }},
        {"Checking Mail downloads\u2026",
         [](const JunkContext& c) { return mailDownloads(c.locations.path(Place::mailDownloads), c); }},
        {"Looking for duplicates\u2026",
         [](const JunkContext& c) {
             return duplicates(folders(c, {Place::downloads, Place::documents, Place::desktop}), c);
         }},
        {"Finding similar images\u2026",
         [](const JunkContext& c) {
             return similarImages(folders(c, {Place::pictures, Place::desktop, Place::downloads}), c);
         }},
        {"Finding large & old files\u2026",
         [](const JunkContext& c) {
             return largeOld(folders(c, {Place::documents, Place::downloads, Place::movies, Place::desktop}), c);
         }},
    };
    return table;
}

}  // namespace

QList<ClutterItem> scan(const Progress& progress, std::stop_token stop) {
    const JunkContext context(Environment::current(), std::move(stop));
    QList<ClutterItem> items;
    for (const Step& step : steps()) {
        if (context.stopped()) break;
        if (progress) progress(QString::fromUtf8(step.label));
        items.append(step.search(context));
    }
    // The program's own items are never offered, wherever a place points
    // (Downloads set to the Safe Bin, say), nor a folder that holds them.
    items.removeIf([&](const ClutterItem& item) {
        return item.size <= kItemMinimum || context.isOwn(item.path) || context.holdsOwn(item.path);
    });
    std::stable_sort(items.begin(), items.end(),
                     [](const ClutterItem& a, const ClutterItem& b) { return a.size > b.size; });
    return MemoryBudget::trimClutter(items);
}

}  // namespace tarnwick::ClutterService
