#pragma once

#include "models/AppSection.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>

class QStackedWidget;

namespace tarnwick {

class AppState;

// The right-hand part of the main window: the scanning screen while a map
// scan runs, whatever section is selected, otherwise the selected section's
// screen. Screens come from factories registered per section (and one for
// the scanning screen); each is built the first time it is needed and kept.
// A section without a factory shows a placeholder saying the section is not
// available in this version.
class DetailArea : public QWidget {
    Q_OBJECT

public:
    // Builds a screen for the shared state; the detail area takes ownership.
    using ScreenFactory = std::function<QWidget*(AppState& state)>;

    explicit DetailArea(AppState& state, QWidget* parent = nullptr);

    // Registers the screen of a section, replacing any earlier one (a screen
    // already built from the earlier factory is discarded).
    void setScreenFactory(AppSection section, ScreenFactory factory);
    // Registers the screen shown while a map scan runs.
    void setScanningScreenFactory(ScreenFactory factory);
    bool hasScreenFactory(AppSection section) const { return factories_.contains(section); }

    // The screen on display.
    QWidget* currentScreen() const;
    // A section's screen, built now if it was not yet.
    QWidget* screen(AppSection section);
    QWidget* scanningScreen();

private:
    void showCurrent();
    QWidget* adopt(QWidget* screen);

    AppState& state_;
    QStackedWidget* stack_ = nullptr;
    QHash<AppSection, ScreenFactory> factories_;
    QHash<AppSection, QPointer<QWidget>> built_;
    ScreenFactory scanningFactory_;
    QPointer<QWidget> scanning_;
};

}  // namespace tarnwick
