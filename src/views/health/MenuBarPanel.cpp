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

// Room around the card for its shadows.
constexpr int kShadowMargin = 12;
constexpr double kCornerRadius = 14;

}  // namespace

MenuBarPanel::MenuBarPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("MenuBarPanel"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    setAttribute(Qt::WA_TranslucentBackground);
    resize(panelWidth + 2 * kShadowMargin, panelHeight + 2 * kShadowMargin);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(kShadowMargin + 14, kShadowMargin + 14, kShadowMargin + 14, kShadowMargin + 14);
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

void MenuBarPanel::toggle(const QRect& anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    QScreen* screen = anchor.isValid() ? QGuiApplication::screenAt(anchor.center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, width(), height());
    QPoint origin = anchor.isValid() ? QPoint(anchor.center().x() - width() / 2, anchor.bottom() + 1)
                                     : QPoint(available.right() - width(), available.top());
    if (anchor.isValid() && origin.y() + height() > available.bottom()) origin.setY(anchor.top() - height());
    origin.setX(qBound(available.left(), origin.x(), qMax(available.left(), available.right() - width())));
    origin.setY(qBound(available.top(), origin.y(), qMax(available.top(), available.bottom() - height())));
    move(origin);
    show();
    raise();
    activateWindow();
}

void MenuBarPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(kShadowMargin, kShadowMargin, -kShadowMargin, -kShadowMargin);
    // Glass alone would let the desktop show through; the solid panel colour goes under it.
    painter.fillPath(TaldoShapes::roundedRect(card, kCornerRadius), TaldoTheme::panelSolid());
    taldoGlass(painter, card, kCornerRadius, TaldoTheme::accentTeal(), false, false);
}

void MenuBarPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) hide();
}

void MenuBarPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarnwick
