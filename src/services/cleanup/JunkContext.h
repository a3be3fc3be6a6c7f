#pragma once

#include "platform/Environment.h"
#include "platform/Locations.h"

#include <QDateTime>
#include <QString>

#include <stop_token>

namespace tarnwick {

// What every stage of one junk or clutter scan shares: the places, the time
// the scan started, the user it acts for and the request to stop.
struct JunkContext {
    Locations locations;
    QString home;
    QDateTime now;
    quint32 userId = 0;
    std::stop_token stop;

    explicit JunkContext(const Environment& environment = Environment::current(), std::stop_token stopToken = {})
        : locations(environment),
          home(locations.home()),
          now(environment.now()),
          userId(environment.effectiveUserId()),
          stop(std::move(stopToken)) {}

    bool stopped() const { return stop.stop_requested(); }
};

}  // namespace tarnwick
