#include "design/TaldoButton.h"

#include "design/SymbolIcons.h"
#include "design/TaldoShadowEffect.h"
#include "design/TaldoTheme.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tarnwick {

TaldoButton::TaldoButton(TaldoButtonKind kind, const QString& text, QWidget* parent)
    : QPushButton(text, parent), m_kind(kind), m_tint(TaldoTheme::accentTeal()) {
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto makeAnimation = [this](int duration, double* amount) {
        auto* animation = new QVariantAnimation(this);
        animation->setDuration(duration);
        animation->setEasingCurve(TaldoEffects::easeOut());
        connect(animation, &QVariantAnimation::valueChanged, this, [this, amount](const QVariant& value) {
            *amount = value.toDouble();
            refreshLook();
        });
        return animation;
    };
    m_hoverAnimation = makeAnimation(TaldoButtonStyle::hoverAnimationMs, &m_hoverAmount);
    m_pressAnimation = makeAnimation(TaldoButtonStyle::pressAnimationMs, &m_pressAmount);

    m_effect = new TaldoShadowEffect(this);
    m_effect->setBackdrop([this](QPainter& painter, const QRectF& rect) { paintBackdrop(painter, rect); }, 4.0);
    setGraphicsEffect(m_effect);
    refreshLook();
}

void TaldoButton::setTint(const QColor& tint) {
    m_tint = tint;
    refreshLook();
}

void TaldoButton::setOpacity(double opacity) {
    m_effect->setOpacity(opacity);
}

double TaldoButton::opacity() const {
    return m_effect->opacity();
}

void TaldoButton::setSymbol(const QString& symbolName) {
    m_symbol = symbolName;
    updateGeometry();
    update();
}

TaldoButtonParameters TaldoButton::currentParameters() const {
    if (m_kind == TaldoButtonKind::glow)
        return TaldoButtonStyle::animated(m_kind, m_tint, m_hoverAmount, m_pressAmount, isEnabled());
    // The plain styles have no hover effect and switch their pressed look at once.
    return TaldoButtonStyle::parameters(m_kind, m_tint, false, m_pressed, isEnabled());
}

QIcon TaldoButton::labelSymbol(const TaldoButtonParameters& p) const {
    if (!m_symbol.isEmpty())
        return SymbolIcons::icon(m_symbol, p.text, TaldoButtonStyle::symbolSize(p));
    return icon();
}

QSize TaldoButton::sizeHint() const {
    const TaldoButtonParameters rest = TaldoButtonStyle::parameters(m_kind, m_tint, false, false, true);
    const bool hasSymbol = !m_symbol.isEmpty() || !icon().isNull();
    const QSizeF size = TaldoButtonStyle::sizeFor(rest, font(), text(), hasSymbol);
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

QSize TaldoButton::minimumSizeHint() const {
    return sizeHint();
}

bool TaldoButton::event(QEvent* event) {
    const bool handled = QPushButton::event(event);
    syncPressed();
    return handled;
}

void TaldoButton::paintEvent(QPaintEvent*) {
    syncPressed();
    QPainter painter(this);
    const TaldoButtonParameters p = currentParameters();
    TaldoButtonStyle::paintBody(painter, QRectF(rect()), p, text(), labelSymbol(p), font());
}

void TaldoButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    setHovering(true);
}

void TaldoButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    setHovering(false);
}

void TaldoButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            // A disabled button drops its hover and press looks at once.
            m_hoverAnimation->stop();
            m_pressAnimation->stop();
            m_hoverAmount = m_pressAmount = 0.0;
            m_pressed = false;
        } else {
            m_hoverAmount = m_hovering ? 1.0 : 0.0;
        }
        refreshLook();
    } else if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
}

void TaldoButton::focusInEvent(QFocusEvent* event) {
    QPushButton::focusInEvent(event);
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
                      event->reason() == Qt::ShortcutFocusReason;
    refreshLook();
}

void TaldoButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    m_keyboardFocus = false;
    refreshLook();
}

void TaldoButton::paintBackdrop(QPainter& painter, const QRectF& rect) const {
    const TaldoButtonParameters p = currentParameters();
    TaldoButtonStyle::paintHalo(painter, rect, p);
    if (m_keyboardFocus && hasFocus()) {
        // Keyboard focus: a teal ring just outside the button.
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.strokePath(TaldoButtonStyle::shape(p, rect.adjusted(-2.5, -2.5, 2.5, 2.5)),
                           QPen(TaldoTheme::withOpacity(TaldoTheme::accentTeal(), 0.8), 2.0));
        painter.restore();
    }
}

void TaldoButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    refreshLook();
}

void TaldoButton::setHovering(bool hovering) {
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    if (m_kind == TaldoButtonKind::glow && isEnabled())
        animate(m_hoverAnimation, m_hoverAmount, hovering ? 1.0 : 0.0);
}

void TaldoButton::syncPressed() {
    const bool down = isDown() && isEnabled();
    if (down == m_pressed)
        return;
    m_pressed = down;
    if (m_kind == TaldoButtonKind::glow)
        animate(m_pressAnimation, m_pressAmount, down ? 1.0 : 0.0);
    else
        refreshLook();
}

void TaldoButton::animate(QVariantAnimation* animation, double from, double to) {
    animation->stop();
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->start();
}

void TaldoButton::refreshLook() {
    const TaldoButtonParameters p = currentParameters();
    m_effect->setShadows({p.shadows.begin(), p.shadows.end()});
    m_effect->setBackdropSpread(std::max(4.0, TaldoButtonStyle::spread(p, size())));
    update();
}

} // namespace tarnwick
