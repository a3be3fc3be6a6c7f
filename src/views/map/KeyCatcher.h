#pragma once

#include <QWidget>

#include <functional>

namespace tarnwick {

// An invisible keyboard target behind a screen: while it has the keyboard
// focus the space bar calls onSpace (and goes no further, also without a
// callback); every other key passes on to the widgets around it. It draws
// nothing, no focus ring included, and takes no clicks.
class KeyCatcher : public QWidget {
    Q_OBJECT

public:
    explicit KeyCatcher(std::function<void()> onSpace = {}, QWidget* parent = nullptr);

    void setOnSpace(std::function<void()> onSpace);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    std::function<void()> onSpace_;
};

}  // namespace tarnwick
