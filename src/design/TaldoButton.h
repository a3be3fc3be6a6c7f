#pragma once

#include "design/TaldoButtonStyle.h"

#include <QPushButton>

class QVariantAnimation;

namespace tarnwick {

class TaldoShadowEffect;

// A push button drawn in one of the design system's styles. The label is the button's text with
// an optional system symbol before it (tinted like the text). Glow buttons follow the pointer and
// the press with eased animations; the plain styles change at once. Disabled buttons are dimmed
// and ignore hover and press. Shadows and the glow reach beyond the button's rect.
class TaldoButton : public QPushButton {
    Q_OBJECT
public:
    explicit TaldoButton(TaldoButtonKind kind, const QString& text = QString(), QWidget* parent = nullptr);

    TaldoButtonKind kind() const { return m_kind; }
    QColor tint() const { return m_tint; }
    void setTint(const QColor& tint);
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbolName);

    bool isHovering() const { return m_hovering; }
    // Fades the whole button, glow included (1 by default).
    void setOpacity(double opacity);
    double opacity() const;
    // The look as currently drawn (mid-animation values included).
    TaldoButtonParameters currentParameters() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setHovering(bool hovering);
    void syncPressed();
    void animate(QVariantAnimation* animation, double from, double to);
    void refreshLook();
    void paintBackdrop(QPainter& painter, const QRectF& rect) const;
    QIcon labelSymbol(const TaldoButtonParameters& parameters) const;

    TaldoButtonKind m_kind;
    QColor m_tint;
    QString m_symbol;
    bool m_hovering = false;
    bool m_pressed = false;
    bool m_keyboardFocus = false;
    double m_hoverAmount = 0.0;
    double m_pressAmount = 0.0;
    QVariantAnimation* m_hoverAnimation = nullptr;
    QVariantAnimation* m_pressAnimation = nullptr;
    TaldoShadowEffect* m_effect = nullptr;
};

} // namespace tarnwick
