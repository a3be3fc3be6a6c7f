#include "app/GraphicalSession.h"

#include <cstdlib>

namespace tarnwick {

namespace {

// The window platform asked for: the value after "-platform" (or
// "--platform"), else QT_QPA_PLATFORM; empty for the default.
QString chosenPlatform(const QStringList& arguments, const GraphicalSession::Lookup& environment) {
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-platform") || arguments[i] == QLatin1String("--platform"))
            return arguments[i + 1];
    }
    return environment("QT_QPA_PLATFORM");
}

// True when the platform talks to a display server: the default, X11 and
// Wayland. A list ("wayland;xcb") needs one when any of its entries does;
// options after a colon do not matter.
bool needsDisplay(const QString& platform) {
    if (platform.trimmed().isEmpty())
        return true;
    for (const QString& entry : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland")))
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> GraphicalSession::missingMessage(const QStringList& arguments, const Lookup& environment) {
    if (!needsDisplay(chosenPlatform(arguments, environment)))
        return std::nullopt;
    if (!environment("DISPLAY").isEmpty() || !environment("WAYLAND_DISPLAY").isEmpty())
        return std::nullopt;
    return QStringLiteral("Tarnwick needs a graphical session, but neither DISPLAY nor WAYLAND_DISPLAY is set. "
                          "Start it from a desktop session.");
}

std::optional<QString> GraphicalSession::missingMessage(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return missingMessage(arguments, [](const char* name) { return QString::fromLocal8Bit(std::getenv(name)); });
}

} // namespace tarnwick
