#pragma once

#include "design/TaldoEffects.h"

#include <QGraphicsEffect>

#include <functional>
#include <vector>

namespace tarnwick {

// Gives a widget a backdrop and shadows that may reach beyond its own rectangle, the way a card
// or a button of the design system wears them: the backdrop is painted behind the widget's own
// drawing (and its children), then every shadow is cast by the alpha of that whole composite.
class TaldoShadowEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    // Paints the backdrop in the widget's own coordinates; the rectangle is the widget's rect.
    using BackdropPainter = std::function<void(QPainter&, const QRectF&)>;

    explicit TaldoShadowEffect(QObject* parent = nullptr);

    void setShadows(std::vector<TaldoShadow> shadows);
    const std::vector<TaldoShadow>& shadows() const { return m_shadows; }
    // `spread`: how far the backdrop reaches beyond the widget's rect (for glows and halos).
    void setBackdrop(BackdropPainter painter, double spread);
    void setBackdropSpread(double spread);
    // Repaints after the backdrop's inputs changed.
    void refresh();
    // Fades the whole composite (backdrop, drawing and shadows), 0 to 1. The
    // fade lives here rather than in an opacity effect on a parent: effects
    // nested inside effects are not painted at all.
    void setOpacity(double opacity);
    double opacity() const { return m_opacity; }

    QRectF boundingRectFor(const QRectF& rect) const override;

protected:
    void draw(QPainter* painter) override;

private:
    void drawComposite(QPainter* painter);

    std::vector<TaldoShadow> m_shadows;
    BackdropPainter m_backdrop;
    double m_backdropSpread = 0.0;
    double m_opacity = 1.0;
};

} // namespace tarnwick
