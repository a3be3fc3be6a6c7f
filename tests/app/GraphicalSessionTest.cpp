#include "app/GraphicalSession.h"

#include <gtest/gtest.h>

#include <QHash>

using namespace tarnwick;

TEST(GraphicalSession, ANeededDisplayThatIsMissingIsNamed) {
    struct Case {
        QHash<QString, QString> environment;
        QStringList arguments;
        bool missing;
    };
    const std::vector<Case> cases = {
        {{}, {"tarnwick"}, true},
        {{{"DISPLAY", ":0"}}, {"tarnwick"}, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, {"tarnwick"}, false},
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, {"tarnwick"}, true},
        // A platform that needs no display, from the environment or the arguments.
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {"tarnwick"}, false},
        {{{"QT_QPA_PLATFORM", "vnc:size=800x600"}}, {"tarnwick"}, false},
        {{}, {"tarnwick", "-platform", "offscreen"}, false},
        {{}, {"tarnwick", "--platform", "minimal"}, false},
        // The arguments win over the environment; X11 and Wayland need their display.
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {"tarnwick", "-platform", "xcb"}, true},
        {{{"QT_QPA_PLATFORM", "wayland;xcb"}}, {"tarnwick"}, true},
        {{{"QT_QPA_PLATFORM", "wayland-egl"}, {"WAYLAND_DISPLAY", "w"}}, {"tarnwick"}, false},
        {{}, {"tarnwick", "-platform"}, true},  // no value: the default
    };
    for (const Case& c : cases) {
        const auto message = GraphicalSession::missingMessage(
            c.arguments, [&c](const char* name) { return c.environment.value(QString::fromLatin1(name)); });
        EXPECT_EQ(message.has_value(), c.missing) << c.arguments.join(' ').toStdString() << " "
                                                  << QStringList(c.environment.keys()).join(',').toStdString();
        if (message) {
            EXPECT_TRUE(message->startsWith("Tarnwick needs a graphical session"));
            EXPECT_TRUE(message->contains("DISPLAY") && message->contains("WAYLAND_DISPLAY"));
        }
    }
}
