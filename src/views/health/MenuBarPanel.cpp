#include "views/health/MenuBarPanel.h"

#include "design/TaldoGlassStyle.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

Qt::WindowFlags flagsFor(MenuBarPanel::Presentation presentation) {
    if (presentation == MenuBarPanel::Presentation::popup) {
        return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    }
    return Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
}

}  // namespace

MenuBarPanel::MenuBarPanel(QWidget* parent) : QWidget(parent, flagsFor(Presentation::popup)) {
    setObjectName(QStringLiteral("MenuBarPanel"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    setAttribute(Qt::WA_TranslucentBackground);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(backgroundReach, backgroundReach, backgroundReach, backgroundReach);
    // The panel follows its content's size, so a detail panel opening or closing resizes it.
    layout_->setSizeConstraint(QLayout::SetFixedSize);
}

void MenuBarPanel::setContent(QWidget* content) {
    if (content_ == content) return;
    if (content_) {
        layout_->removeWidget(content_);
        content_->deleteLater();
    }
    content_ = content;
    if (content) layout_->addWidget(content);
}

void MenuBarPanel::setPresentation(Presentation presentation) {
    if (presentation_ == presentation) return;
    hide();
    presentation_ = presentation;
    setWindowFlags(flagsFor(presentation));
    // A framed window has no see-through corners.
    setAttribute(Qt::WA_TranslucentBackground, presentation == Presentation::popup);
}

void MenuBarPanel::toggle(const QRect& anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    anchor_ = anchor;
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
}

void MenuBarPanel::showWindow() {
    adjustSize();
    show();
    raise();
    activateWindow();
}

void MenuBarPanel::place() {
    if (presentation_ != Presentation::popup) return;
    QScreen* screen = anchor_.isValid() ? QGuiApplication::screenAt(anchor_.center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, width(), height());
    QPoint origin = anchor_.isValid() ? QPoint(anchor_.center().x() - width() / 2, anchor_.bottom() + 1)
                                      : QPoint(available.right() - width(), available.top());
    if (anchor_.isValid() && origin.y() + height() > available.bottom()) origin.setY(anchor_.top() - height());
    origin.setX(qBound(available.left(), origin.x(), qMax(available.left(), available.right() - width())));
    origin.setY(qBound(available.top(), origin.y(), qMax(available.top(), available.bottom() - height())));
    move(origin);
}

void MenuBarPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A panel above a tray at the bottom of the screen grows upwards, not off the screen.
    if (isVisible()) place();
}

void MenuBarPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (presentation_ == Presentation::toolWindow) painter.fillRect(rect(), TaldoTheme::background());
    const QPainterPath shape = TaldoShapes::roundedRect(card, cornerRadius);
    // The material alone would let the desktop show through; the solid panel colour goes under it.
    painter.fillPath(shape, TaldoTheme::panelSolid());
    painter.fillPath(shape, TaldoTheme::withOpacity(Qt::black, 0.35));
    painter.fillPath(shape, TaldoGlassStyle::materialColor());
    painter.setPen(QPen(TaldoTheme::withOpacity(Qt::white, 0.10), 1));
    painter.drawPath(shape);
}

void MenuBarPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (presentation_ == Presentation::popup && event->type() == QEvent::ActivationChange && isVisible()
        && !isActiveWindow()) {
        hide();
    }
}

void MenuBarPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarnwick
