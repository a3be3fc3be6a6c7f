#pragma once

#include <QPalette>

#include <functional>

class QObject;
class QWidget;

namespace tarnwick {

// Gives every titled window of the program the same dark look and lets it be dragged by its
// background. Installed once on the application; from then on each titled window is styled
// again every time it becomes active. Untitled windows (frameless panels, popups, tool tips,
// splash screens) are never touched.
//
// The window system draws the title bar here, so it cannot be made transparent or merged with a
// toolbar: the title stays set (the task bar and window switcher show it) and the window gets the
// dark palette and background instead.
class WindowChrome {
public:
    WindowChrome() = delete;

    // Styles all open windows; the first call also makes the dark palette the application's and
    // starts watching for windows becoming active.
    static void install();
    // Styles every top-level window of the application, in the order the application lists them.
    static void applyToAllWindows();
    // Styles one window; does nothing for a window without a title bar or for a non-window.
    static void configure(QWidget* window);

    static bool isInstalled();
    // True for a top-level widget the window system gives a title bar.
    static bool isTitled(const QWidget* window);
    // True once `configure` styled the window.
    static bool isConfigured(const QWidget* window);
    // Whether a left press that reached `window` unhandled, on `target` (the widget under the
    // pointer), may move the window: only on plain background, never inside scrolling content,
    // editable or interactive widgets. The move starts once the pointer has travelled the
    // platform's drag distance with the button held; a click in place never moves the window.
    static bool startsWindowMove(const QWidget* window, const QWidget* target);
    // Replaces the window system's move (tests record the windows); an empty function restores it.
    static void setSystemMoveStarter(std::function<bool(QWidget* window)> starter);

    // The dark palette of the program's windows, tinted with the teal accent.
    static QPalette palette();
};

} // namespace tarnwick
