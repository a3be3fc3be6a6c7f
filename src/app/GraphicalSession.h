#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnwick {

// Whether the program can open its windows at all. Without a display server
// to talk to, the windowing library would abort with advice that does not
// apply; the entry point asks first and says what is missing instead.
class GraphicalSession {
public:
    GraphicalSession() = delete;

    // Reads one environment variable; empty when it is not set.
    using Lookup = std::function<QString(const char* name)>;

    // The message for the user when the program would need a display and
    // none is set (neither DISPLAY nor WAYLAND_DISPLAY), else none. A window
    // platform chosen with "-platform NAME" among the arguments or with
    // QT_QPA_PLATFORM that needs no display (offscreen, vnc, ...) is let through.
    static std::optional<QString> missingMessage(const QStringList& arguments, const Lookup& environment);
    // The same for this process.
    static std::optional<QString> missingMessage(int argc, char** argv);
};

}  // namespace tarnwick
