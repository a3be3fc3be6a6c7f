#pragma once

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace tarnwick {

// The frameless panel that drops from the tray icon, drawn as a glass card.
// It holds one content widget (the monitor panel) and hides itself when it
// loses focus, like a menu.
class MenuBarPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 340;
    static constexpr int panelHeight = 440;

    explicit MenuBarPanel(QWidget* parent = nullptr);

    // Puts the panel's content in place, replacing (and deleting) the earlier one.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

    // Shows the panel below (or above) the anchor, kept on the anchor's screen; hides it when shown.
    void toggle(const QRect& anchor);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QVBoxLayout* layout_ = nullptr;
    QPointer<QWidget> content_;
};

}  // namespace tarnwick
