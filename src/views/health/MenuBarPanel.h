#pragma once

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace tarnwick {

// The window that holds the tray panel's content. As a popup it is
// frameless, opens next to the tray icon and hides itself when it loses
// focus, like a menu; as a tool window (for desktops without a tray) it is a
// small ordinary window. Either way it is as large as its content, drawn on
// a dark rounded background that reaches 2 points beyond it.
class MenuBarPanel : public QWidget {
    Q_OBJECT

public:
    enum class Presentation { popup, toolWindow };

    static constexpr int backgroundReach = 2;
    static constexpr double cornerRadius = 18;

    explicit MenuBarPanel(QWidget* parent = nullptr);

    // Puts the panel's content in place, replacing (and deleting) the earlier one.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

    Presentation presentation() const { return presentation_; }
    // Switches between popup and tool window; the panel is hidden meanwhile.
    void setPresentation(Presentation presentation);

    // As a popup: shows the panel below (or above) the anchor, kept on the
    // anchor's screen; hides it when shown.
    void toggle(const QRect& anchor);
    // As a tool window: shows it and brings it forward.
    void showWindow();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    QVBoxLayout* layout_ = nullptr;
    QPointer<QWidget> content_;
    Presentation presentation_ = Presentation::popup;
    QRect anchor_;
};

}  // namespace tarnwick
