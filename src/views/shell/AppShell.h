#pragma once

#include <QWidget>

namespace tarnwick {

class AboutView;
class AppState;
class DetailArea;
class SectionRail;

// The content of the main window: the section rail, a hairline divider and
// the detail area, over the window's backdrop; the About sheet lies over all
// of it while AppState::showAbout is true. The shell keeps no state of its
// own: the highlighted row, the screen shown and the sheet follow AppState.
class AppShell : public QWidget {
    Q_OBJECT

public:
    explicit AppShell(AppState& state, QWidget* parent = nullptr);

    SectionRail* rail() const { return rail_; }
    // Where the screens are registered (see DetailArea::setScreenFactory).
    DetailArea* detailArea() const { return detail_; }
    AboutView* aboutSheet() const { return about_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateAbout();

    AppState& state_;
    SectionRail* rail_ = nullptr;
    DetailArea* detail_ = nullptr;
    AboutView* about_ = nullptr;
};

}  // namespace tarnwick
