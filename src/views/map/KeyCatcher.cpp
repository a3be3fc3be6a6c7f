#include "views/map/KeyCatcher.h"

#include <QKeyEvent>

namespace tarnwick {

KeyCatcher::KeyCatcher(std::function<void()> onSpace, QWidget* parent)
    : QWidget(parent), onSpace_(std::move(onSpace)) {
    setObjectName(QStringLiteral("KeyCatcher"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

void KeyCatcher::setOnSpace(std::function<void()> onSpace) {
    onSpace_ = std::move(onSpace);
}

void KeyCatcher::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space) {
        event->ignore();
        return;
    }
    // A held space bar previews once, not once per repeat.
    if (!event->isAutoRepeat() && onSpace_) onSpace_();
    event->accept();
}

void KeyCatcher::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) event->accept();
    else event->ignore();
}

}  // namespace tarnwick
