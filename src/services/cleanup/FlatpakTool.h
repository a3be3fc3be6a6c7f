#pragma once

#include "platform/ToolRunner.h"

#include <QList>
#include <QString>

#include <chrono>
#include <optional>
#include <stop_token>

namespace tarnwick {

// The flatpak tool, run through the tool runner (no shell, standard input
// closed, a timeout, a stop request ends a run). Only ids that are plain
// reverse domain names are ever handed to it. A missing flatpak, one that
// fails, crashes or hangs, gives nothing or a reason; never a wait beyond
// the timeout.
namespace FlatpakTool {

inline const QString kUsualPath = QStringLiteral("/usr/bin/flatpak");
inline constexpr std::chrono::milliseconds kListTimeout{60000};
inline constexpr std::chrono::milliseconds kUninstallTimeout{300000};
inline constexpr std::chrono::milliseconds kUpdateTimeout{1800000};
inline constexpr qsizetype kUpdatesKept = 200;

struct Update {
    QString id;
    QString version;  // what the remote offers; empty when it does not say
};

// The apps of the user's (or the system's) installation that have a newer
// version on their remote: "flatpak remote-ls --user|--system --updates --app
// --columns=application,version". None when the run did not finish well or
// its output is not UTF-8; lines without a usable id are left out; at most 200.
QList<Update> updates(bool system, std::chrono::milliseconds timeout = kListTimeout,
                      const std::stop_token& stop = {});

// Why "flatpak uninstall" could not run for the app now, before anything is
// done for it: an id that is not a plain reverse domain name, no flatpak at
// the tool path, or one that cannot be run. Runs nothing; nothing when it
// can be tried. The reason reads as uninstall() gives it.
std::optional<QString> whyUninstallCannotRun(const QString& id, const QString& name);

// "flatpak uninstall --user --noninteractive <id>". Nothing when it went
// through, else the reason for the user.
std::optional<QString> uninstall(const QString& id, const QString& name,
                                 std::chrono::milliseconds timeout = kUninstallTimeout,
                                 const std::stop_token& stop = {});
// "flatpak update --user --noninteractive <id>", likewise.
std::optional<QString> update(const QString& id, const QString& name,
                              std::chrono::milliseconds timeout = kUpdateTimeout, const std::stop_token& stop = {});

}  // namespace FlatpakTool

}  // namespace tarnwick
