#pragma once

#include "models/CleanupItem.h"

#include <QList>
#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The junk finder: fourteen stages over fixed places of the home folder and
// the system, each reported by a progress label before it runs. Reads only;
// never moves anything. Synchronous: callers run it off the UI thread.
namespace CleanupService {

using Progress = std::function<void(const QString& label)>;

// The findings sorted by size, largest first, trimmed to the junk budget.
// A stop request ends the scan at the next stage or entry; what was found so
// far is returned.
QList<CleanupItem> scan(const Progress& progress, std::stop_token stop = {});

}  // namespace CleanupService

}  // namespace tarnwick
