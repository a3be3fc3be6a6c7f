#include "design/DesignGallery.h"

#include "design/BrandMark.h"
#include "design/SymbolIcons.h"
#include "design/TaldoAtmosphereBackground.h"
#include "design/TaldoButtonStyle.h"
#include "design/TaldoDangerButton.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoGlassCard.h"
#include "design/TaldoGlassStyle.h"
#include "design/TaldoGlowButton.h"
#include "design/TaldoPrimaryButton.h"
#include "design/TaldoTheme.h"
#include "design/VibrancyBackground.h"
#include "design/WindowChrome.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <vector>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kWidth = 1280;
constexpr int kHeight = 2160;
constexpr int kMargin = 40;

QFont pixelFont(int pixels, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

void caption(QPainter& p, const QRectF& rect, const QString& text, const QColor& color = T::textSecondary(),
             int pixels = 11, Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop) {
    p.setFont(pixelFont(pixels));
    p.setPen(color);
    p.drawText(rect, align | Qt::TextWordWrap, text);
}

double section(QPainter& p, double y, const QString& title) {
    p.setFont(pixelFont(15, QFont::DemiBold));
    p.setPen(T::textPrimary());
    p.drawText(QPointF(kMargin, y + 15), title);
    p.setPen(QPen(T::panelBorder(), 1));
    p.drawLine(QPointF(kMargin, y + 24.5), QPointF(kWidth - kMargin, y + 24.5));
    return y + 40;
}

double drawColours(QPainter& p, double y) {
    y = section(p, y, QStringLiteral("Colours"));
    const std::vector<std::pair<QString, QColor>> named = {
        {QStringLiteral("background"), T::background()},   {QStringLiteral("panel"), T::panel()},
        {QStringLiteral("panelSolid"), T::panelSolid()},   {QStringLiteral("panelBorder"), T::panelBorder()},
        {QStringLiteral("textPrimary"), T::textPrimary()}, {QStringLiteral("textSecondary"), T::textSecondary()},
        {QStringLiteral("accent"), T::accent()},           {QStringLiteral("accentTeal"), T::accentTeal()},
        {QStringLiteral("accentLime"), T::accentLime()},   {QStringLiteral("danger"), T::danger()},
        {QStringLiteral("warning"), T::warning()},         {QStringLiteral("fileColor"), T::fileColor()},
        {QStringLiteral("smallGroupColor"), T::smallGroupColor()},
        {QStringLiteral("restrictedColor"), T::restrictedColor()},
        {QStringLiteral("virtualColor"), T::virtualColor()},
    };
    const int perRow = 8;
    const double cell = (kWidth - 2.0 * kMargin) / perRow;
    for (size_t i = 0; i < named.size(); ++i) {
        const QRectF swatch(kMargin + (i % perRow) * cell, y + (i / perRow) * 66.0, cell - 10, 36);
        p.setPen(QPen(T::panelBorder(), 1));
        p.setBrush(named[i].second);
        p.drawRoundedRect(swatch, 6, 6);
        caption(p, QRectF(swatch.left(), swatch.bottom() + 4, cell, 20), named[i].first, T::textSecondary(), 11);
    }
    y += 2 * 66.0 + 6;
    const double paletteCell = (kWidth - 2.0 * kMargin) / 10.0;
    for (int i = 0; i < T::folderPaletteSize; ++i) {
        const QRectF swatch(kMargin + i * paletteCell, y, paletteCell - 8, 26);
        p.setPen(Qt::NoPen);
        p.setBrush(T::folderPalette()[static_cast<size_t>(i)]);
        p.drawRoundedRect(swatch, 6, 6);
        caption(p, swatch, QStringLiteral("folder %1").arg(i), T::withOpacity(Qt::black, 0.7), 10,
                Qt::AlignCenter);
    }
    return y + 46;
}

double drawBackdrops(QPainter& p, double y) {
    y = section(p, y, QStringLiteral("Backdrops"));
    const double w = (kWidth - 2.0 * kMargin - 32) / 3.0;
    const QRectF a(kMargin, y, w, 110), b(kMargin + w + 16, y, w, 110), c(kMargin + 2 * (w + 16), y, w, 110);
    p.save();
    p.setClipRect(a);
    VibrancyBackground::paint(p, a, VibrancyMaterial::underWindowBackground, VibrancyBlendingMode::behindWindow);
    p.setClipRect(b);
    VibrancyBackground::paint(p, b, VibrancyMaterial::underWindowBackground, VibrancyBlendingMode::behindWindow);
    VibrancyBackground::paint(p, b, VibrancyMaterial::sidebar, VibrancyBlendingMode::behindWindow);
    p.setClipRect(c);
    VibrancyBackground::paint(p, c, VibrancyMaterial::underWindowBackground, VibrancyBlendingMode::behindWindow);
    TaldoAtmosphereBackground::paint(p, c);
    p.restore();
    caption(p, a.adjusted(12, 10, -12, -10), QStringLiteral("Vibrancy · under-window background"),
            T::textPrimary(), 12);
    caption(p, b.adjusted(12, 10, -12, -10), QStringLiteral("Vibrancy · sidebar"), T::textPrimary(), 12);
    caption(p, c.adjusted(12, 10, -12, -10), QStringLiteral("Atmosphere over the window background"),
            T::textPrimary(), 12);
    return y + 130;
}

double drawCards(QPainter& p, double y) {
    y = section(p, y, QStringLiteral("Glass cards"));
    struct Card {
        QString title;
        std::optional<QColor> glow;
        bool intense;
        bool lit;
        double hover; // < 0: a plain card
    };
    const std::vector<Card> cards = {
        {QStringLiteral("no glow"), std::nullopt, false, false, -1},
        {QStringLiteral("no glow, intense"), std::nullopt, true, false, -1},
        {QStringLiteral("no glow, lit (unchanged)"), std::nullopt, false, true, -1},
        {QStringLiteral("teal glow"), T::accentTeal(), false, false, -1},
        {QStringLiteral("teal glow, lit"), T::accentTeal(), false, true, -1},
        {QStringLiteral("amber glow, intense"), T::accent(), true, false, -1},
        {QStringLiteral("amber glow, lit"), T::accent(), false, true, -1},
        {QStringLiteral("hover 0"), T::accentTeal(), false, false, 0.0},
        {QStringLiteral("hover 0.5"), T::accentTeal(), false, false, 0.5},
        {QStringLiteral("hover 1"), T::accentTeal(), false, false, 1.0},
    };
    const int perRow = 5;
    const double gap = 28;
    const double w = (kWidth - 2.0 * kMargin - gap * (perRow - 1)) / perRow;
    for (size_t i = 0; i < cards.size(); ++i) {
        const Card& card = cards[i];
        const QRectF rect(kMargin + (i % perRow) * (w + gap), y + 8 + (i / perRow) * 128.0, w, 96);
        if (card.hover < 0)
            taldoGlass(p, rect, 14, card.glow, card.intense, card.lit);
        else
            taldoHoverGlass(p, rect, 14, card.glow, card.intense, card.hover);
        caption(p, rect.adjusted(14, 12, -14, -12), card.title, T::textPrimary(), 13);
        caption(p, rect.adjusted(14, 34, -14, -12), QStringLiteral("corner radius 14"), T::textSecondary(), 11);
    }
    return y + 8 + 2 * 128.0 + 10;
}

double drawButtons(QPainter& p, double y) {
    y = section(p, y, QStringLiteral("Buttons"));
    const QStringList states = {QStringLiteral("normal"), QStringLiteral("hover"), QStringLiteral("pressed"),
                                QStringLiteral("disabled")};
    const double labelWidth = 170;
    const double column = (kWidth - 2.0 * kMargin - labelWidth) / 4.0;
    for (int s = 0; s < states.size(); ++s)
        caption(p, QRectF(kMargin + labelWidth + s * column, y, column, 16), states[s], T::textSecondary(), 11,
                Qt::AlignHCenter | Qt::AlignTop);
    y += 26;
    struct Row {
        QString title;
        TaldoButtonKind kind;
        QColor tint;
        QString text;
        QString symbol;
    };
    const std::vector<Row> rows = {
        {QStringLiteral("Glow (teal)"), TaldoButtonKind::glow, T::accentTeal(), QStringLiteral("Scan"),
         QStringLiteral("sparkles")},
        {QStringLiteral("Glow (amber)"), TaldoButtonKind::glow, T::accent(), QStringLiteral("Run Vidur Aded"),
         QStringLiteral("sparkles")},
        {QStringLiteral("Primary"), TaldoButtonKind::primary, T::accent(), QStringLiteral("Clean 1.2 GB"),
         QStringLiteral("trash")},
        {QStringLiteral("Ghost"), TaldoButtonKind::ghost, T::accent(), QStringLiteral("Rescan"),
         QStringLiteral("arrow.clockwise")},
        {QStringLiteral("Danger"), TaldoButtonKind::danger, T::accent(), QStringLiteral("Delete"),
         QStringLiteral("trash")},
    };
    for (const Row& row : rows) {
        const TaldoButtonParameters rest = TaldoButtonStyle::parameters(row.kind, row.tint, false, false);
        const QSizeF size = TaldoButtonStyle::sizeFor(rest, QFont(), row.text, true);
        const double rowHeight = size.height() + 34;
        caption(p, QRectF(kMargin, y, labelWidth, rowHeight), row.title, T::textPrimary(), 13,
                Qt::AlignLeft | Qt::AlignVCenter);
        for (int s = 0; s < 4; ++s) {
            const bool hovering = s == 1, pressed = s == 2, enabled = s != 3;
            const TaldoButtonParameters params =
                TaldoButtonStyle::parameters(row.kind, row.tint, hovering, pressed, enabled);
            const QRectF rect(kMargin + labelWidth + s * column + (column - size.width()) / 2.0,
                              y + (rowHeight - size.height()) / 2.0, size.width(), size.height());
            TaldoButtonStyle::paint(p, rect, params, row.text, SymbolIcons::icon(row.symbol, params.text));
        }
        y += rowHeight;
    }
    return y + 10;
}

double drawMarksAndSymbols(QPainter& p, double y) {
    y = section(p, y, QStringLiteral("Brand mark"));
    double x = kMargin + 20;
    for (const auto& [size, glow] : std::vector<std::pair<double, bool>>{{30, true}, {30, false}, {64, true}}) {
        BrandMark::paint(p, QPointF(x, y + 6 + (64 - size) / 2), size, glow);
        caption(p, QRectF(x - 20, y + 80, size + 40, 30),
                QStringLiteral("%1 pt%2").arg(size).arg(glow ? QStringLiteral(", glow") : QString()),
                T::textSecondary(), 10, Qt::AlignHCenter | Qt::AlignTop);
        x += size + 70;
    }
    caption(p, QRectF(x + 10, y + 20, 600, 40),
            QStringLiteral("Picture: %1").arg(BrandMark::sourceName()), T::textSecondary(), 12);
    y += 110;

    y = section(p, y, QStringLiteral("Symbols"));
    const QStringList symbols = SymbolIcons::knownSymbols();
    const int perRow = 8;
    const double cell = (kWidth - 2.0 * kMargin) / perRow;
    const QColor tints[] = {T::textPrimary(), T::accentTeal(), T::accent(), T::folderColor(6), T::danger()};
    for (int i = 0; i < symbols.size(); ++i) {
        const QRectF box(kMargin + (i % perRow) * cell, y + (i / perRow) * 62.0, cell, 62);
        const QColor tint = tints[(i / perRow) % 5];
        SymbolIcons::icon(symbols[i], tint, 22).paint(&p, QRect(static_cast<int>(box.center().x()) - 11,
                                                               static_cast<int>(box.top()) + 4, 22, 22));
        const QString name = QFontMetricsF(pixelFont(10)).elidedText(symbols[i], Qt::ElideMiddle, box.width() - 8);
        caption(p, QRectF(box.left() + 2, box.top() + 30, box.width() - 4, 30), name, T::textSecondary(), 10,
                Qt::AlignHCenter | Qt::AlignTop);
    }
    const int rows = static_cast<int>((symbols.size() + perRow - 1) / perRow);
    y += rows * 62.0;
    // The drawn stand-in, for a name the table does not know.
    const QRectF box(kMargin, y, cell, 62);
    SymbolIcons::icon(QStringLiteral("unknown.symbol"), T::textPrimary(), 22)
        .paint(&p, QRect(static_cast<int>(box.center().x()) - 11, static_cast<int>(box.top()) + 4, 22, 22));
    caption(p, QRectF(box.left(), box.top() + 30, box.width() * 2, 30),
            QStringLiteral("stand-in (unknown name)"), T::textSecondary(), 10);
    return y + 72;
}

double drawLiveWidgets(QPainter& p, double y) {
    y = section(p, y, QStringLiteral("Live widgets"));
    // A real window content: vibrancy, atmosphere, a glass card holding the four buttons.
    QWidget window;
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.setPalette(WindowChrome::palette());
    window.setFixedSize(kWidth - 2 * kMargin, 150);
    auto* vibrancy =
        new VibrancyBackground(VibrancyMaterial::underWindowBackground, VibrancyBlendingMode::behindWindow, &window);
    vibrancy->setGeometry(window.rect());
    auto* atmosphere = new TaldoAtmosphereBackground(&window);
    atmosphere->setGeometry(window.rect());
    auto* card = new TaldoGlassCard(16, T::accentTeal(), false, true, &window);
    card->setGeometry(24, 24, window.width() - 48, 102);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(20, 14, 20, 14);
    row->setSpacing(18);
    auto* mark = new BrandMark(30, true);
    row->addWidget(mark);
    auto* title = new QLabel(QStringLiteral("Glass card with live buttons"));
    title->setFont(pixelFont(14, QFont::DemiBold));
    title->setStyleSheet(QStringLiteral("color: rgba(255,255,255,245);"));
    row->addWidget(title);
    row->addStretch(1);
    auto* glow = new TaldoGlowButton(T::accentTeal(), QStringLiteral("Scan"));
    glow->setSymbol(QStringLiteral("sparkles"));
    auto* primary = new TaldoPrimaryButton(QStringLiteral("Clean"));
    primary->setSymbol(QStringLiteral("trash"));
    auto* ghost = new TaldoGhostButton(QStringLiteral("Preview"));
    ghost->setSymbol(QStringLiteral("eye"));
    auto* danger = new TaldoDangerButton(QStringLiteral("Delete"));
    auto* disabled = new TaldoGhostButton(QStringLiteral("Collect"));
    disabled->setSymbol(QStringLiteral("tray.and.arrow.down"));
    disabled->setEnabled(false);
    for (QWidget* button : std::initializer_list<QWidget*>{glow, primary, ghost, disabled, danger})
        row->addWidget(button, 0, Qt::AlignVCenter);
    window.show();
    row->activate();
    window.render(&p, QPoint(kMargin, static_cast<int>(y)));
    return y + 170;
}

} // namespace

QSize DesignGallery::size() {
    return {kWidth, kHeight};
}

QImage DesignGallery::render() {
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    VibrancyBackground::paint(p, image.rect(), VibrancyMaterial::underWindowBackground,
                              VibrancyBlendingMode::behindWindow);
    TaldoAtmosphereBackground::paint(p, image.rect());

    p.setFont(pixelFont(22, QFont::Bold));
    p.setPen(T::textPrimary());
    p.drawText(QPointF(kMargin, 52), QStringLiteral("Tarnwick design system"));
    double y = 78;
    y = drawColours(p, y);
    y = drawBackdrops(p, y);
    y = drawCards(p, y);
    y = drawButtons(p, y);
    y = drawMarksAndSymbols(p, y);
    drawLiveWidgets(p, y);
    return image;
}

} // namespace tarnwick
