#include "views/care/VidurAdedToolTile.h"

#include "design/SymbolIcons.h"
#include "design/TaldoEffects.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "views/common/ClampedText.h"
#include "views/common/ViewText.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include <array>

namespace tarnwick {

namespace {

using T = TaldoTheme;

double mix(double from, double to, double t) {
    return from + (to - from) * t;
}

// The symbol in its tinted circle (the tile draws the circle's glow around it).
class SymbolBadge : public QWidget {
public:
    SymbolBadge(const QString& icon, const QColor& tint, const TaldoHoverGlass* tile, QWidget* parent)
        : QWidget(parent), icon_(icon), tint_(tint), tile_(tile) {
        setObjectName(QStringLiteral("toolBadge"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFixedSize(VidurAdedToolTile::badgeSide, VidurAdedToolTile::badgeSide);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const VidurAdedToolTile::BadgeLook look = VidurAdedToolTile::badgeLook(tile_->hoverAmount());
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath circle;
        circle.addEllipse(QRectF(rect()));
        painter.fillPath(circle, T::withOpacity(tint_, look.fillOpacity));
        const int symbol = 17;
        const QRect symbolRect((width() - symbol) / 2, (height() - symbol) / 2, symbol, symbol);
        SymbolIcons::icon(icon_, tint_, symbol).paint(&painter, symbolRect);
    }

private:
    QString icon_;
    QColor tint_;
    const TaldoHoverGlass* tile_;
};

// A capsule 3 points high across the tile, its tint brighter in the middle.
class AccentBar : public QWidget {
public:
    AccentBar(const QColor& tint, const TaldoHoverGlass* tile, QWidget* parent)
        : QWidget(parent), tint_(tint), tile_(tile) {
        setObjectName(QStringLiteral("toolAccent"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFixedHeight(3);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const std::array<double, 3> opacity = VidurAdedToolTile::accentOpacities(tile_->hoverAmount());
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, width(), 0);
        gradient.setColorAt(0.0, T::withOpacity(tint_, opacity[0]));
        gradient.setColorAt(0.5, T::withOpacity(tint_, opacity[1]));
        gradient.setColorAt(1.0, T::withOpacity(tint_, opacity[2]));
        painter.fillPath(TaldoShapes::capsule(QRectF(rect())), gradient);
    }

private:
    QColor tint_;
    const TaldoHoverGlass* tile_;
};

}  // namespace

VidurAdedToolTile::VidurAdedToolTile(const QString& title, const QString& subtitle, const QString& icon,
                                     const QColor& tint, std::function<void()> action, QWidget* parent)
    : GlassTileButton(18, tint, parent), title_(title), subtitle_(subtitle), icon_(icon), tint_(tint),
      action_(std::move(action)) {
    setMinimumHeight(minimumTileHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto* badge = new SymbolBadge(icon, tint, this, this);
    badge_ = badge;
    column->addWidget(badge, 0, Qt::AlignLeft);
    auto* titleLabel = ViewText::label(title, 14, QFont::Bold, T::textPrimary(), this);
    titleLabel->setObjectName(QStringLiteral("toolTitle"));
    column->addWidget(titleLabel);
    auto* subtitleText = new ClampedText(2, this);
    subtitleText->setObjectName(QStringLiteral("toolSubtitle"));
    subtitleText->setFont(ViewText::font(11));
    ViewText::setTextColor(subtitleText, T::textSecondary());
    subtitleText->setText(subtitle);
    subtitleText->setAttribute(Qt::WA_TransparentForMouseEvents);
    column->addWidget(subtitleText);
    column->addSpacing(2 - column->spacing());
    auto* bar = new AccentBar(tint, this, this);
    column->addWidget(bar);
    column->addStretch(1);

    connect(this, &TaldoHoverGlass::hoverAmountChanged, this, [this, badge, bar] {
        update();  // the badge's glow
        badge->update();
        bar->update();
    });
    connect(this, &GlassTileButton::clicked, this, [this] {
        if (action_) action_();
    });
}

void VidurAdedToolTile::paintEvent(QPaintEvent* event) {
    {
        // The badge's glow, drawn here so that it spills beyond the badge onto the tile.
        const BadgeLook look = badgeLook(hoverAmount());
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath circle;
        circle.addEllipse(QRectF(badge_->geometry()));
        TaldoEffects::drawBlurredFill(painter, circle, T::withOpacity(tint_, look.glowOpacity), look.glowRadius);
    }
    GlassTileButton::paintEvent(event);  // the focus ring
}

VidurAdedToolTile::BadgeLook VidurAdedToolTile::badgeLook(double t) {
    return {mix(0.12, 0.22, t), mix(0.12, 0.55, t), mix(3, 12, t)};
}

std::array<double, 3> VidurAdedToolTile::accentOpacities(double t) {
    return {mix(0.08, 0.2, t), mix(0.22, 0.55, t), mix(0.08, 0.2, t)};
}

}  // namespace tarnwick
