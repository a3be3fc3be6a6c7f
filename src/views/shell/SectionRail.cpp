#include "views/shell/SectionRail.h"

#include "design/BrandMark.h"
#include "design/SymbolIcons.h"
#include "design/TaldoGlassCard.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"
#include "design/VibrancyBackground.h"
#include "state/AppState.h"
#include "views/common/ViewText.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollArea>
#include <QTextLayout>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kRowPaddingX = 12;
constexpr int kRowPaddingY = 9;
constexpr int kRowIconSize = 14;
constexpr int kRowSpacing = 6;
constexpr int kCardTextWidth = SectionRail::railWidth - 2 * 12 - 2 * 12;

QFont rowFont() {
    return ViewText::font(12, QFont::DemiBold);
}

}  // namespace

// ---- SectionRow ----

SectionRow::SectionRow(AppSection section, QWidget* parent) : QAbstractButton(parent), section_(section) {
    setObjectName(QStringLiteral("sectionRow"));
    setText(rawValue(section));
    setFont(rowFont());
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SectionRow::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QSize SectionRow::sizeHint() const {
    const QFontMetrics metrics(font());
    const int contentHeight = qMax(metrics.height(), kRowIconSize);
    const int contentWidth = kRowIconSize + kRowSpacing + metrics.horizontalAdvance(text());
    return QSize(contentWidth + 2 * kRowPaddingX, contentHeight + 2 * kRowPaddingY);
}

void SectionRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (selected_) {
        const QPainterPath shape = TaldoShapes::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12);
        painter.fillPath(shape, T::withOpacity(T::accentTeal(), 0.12));
        painter.setPen(QPen(T::withOpacity(T::accentTeal(), 0.4), 1));
        painter.drawPath(shape);
    }
    const QColor color = selected_ ? T::accentTeal() : T::textSecondary();
    const QRect content = rect().adjusted(kRowPaddingX, kRowPaddingY, -kRowPaddingX, -kRowPaddingY);
    const QRect iconRect(content.left(), content.center().y() - kRowIconSize / 2 + 1, kRowIconSize, kRowIconSize);
    SymbolIcons::icon(iconName(section_), color, kRowIconSize).paint(&painter, iconRect);
    painter.setPen(color);
    painter.setFont(font());
    const QRect textRect = content.adjusted(kRowIconSize + kRowSpacing, 0, 0, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(font()).elidedText(text(), Qt::ElideRight, textRect.width()));
    if (hasFocus()) {
        painter.setPen(QPen(T::withOpacity(T::accentTeal(), 0.6), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(TaldoShapes::roundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 11));
    }
}

// ---- SectionRail ----

SectionRail::SectionRail(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("SectionRail"));
    setFixedWidth(railWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(14, 36, 14, 12);
    header->setSpacing(10);
    header->addWidget(new BrandMark(30, true, this), 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(
        ViewText::label(QStringLiteral("Tarnwick"), 15, QFont::Bold, T::withOpacity(T::textPrimary(), 0.88), this));
    header->addLayout(names);
    header->addStretch(1);
    layout->addLayout(header);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("sectionList"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget(scroll);
    auto* rows = new QVBoxLayout(list);
    rows->setContentsMargins(8, 0, 8, 0);
    rows->setSpacing(4);
    for (AppSection section : allAppSections()) {
        auto* row = new SectionRow(section, list);
        connect(row, &QAbstractButton::clicked, this, [this, section] { state_.openSection(section); });
        rows->addWidget(row);
        rows_.append(row);
    }
    rows->addStretch(1);
    scroll->setWidget(list);
    list->setAutoFillBackground(false);  // after setWidget(), which turns it on
    layout->addWidget(scroll, 1);
    layout->addSpacing(8);

    auto* cardHolder = new QWidget(this);
    auto* cardMargins = new QVBoxLayout(cardHolder);
    cardMargins->setContentsMargins(12, 0, 12, 12);
    auto* card = new TaldoGlassCard(12, std::nullopt, false, false, cardHolder);
    card->setObjectName(QStringLiteral("lastMapCard"));
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(12, 12, 12, 12);
    cardLayout->setSpacing(4);
    cardLayout->addWidget(ViewText::label(QStringLiteral("Last map"), 10, QFont::DemiBold, T::textSecondary(), card));
    summary_ = ViewText::label(QString(), 11, QFont::Normal, T::textPrimary(), card);
    summary_->setObjectName(QStringLiteral("lastMapSummary"));
    cardLayout->addWidget(summary_);
    cardMargins->addWidget(card);
    layout->addWidget(cardHolder);
    card_ = cardHolder;

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        switch (field) {
        case AppState::Field::section:
            updateSelection();
            break;
        case AppState::Field::hasCachedScan:
        case AppState::Field::lastScanDate:
        case AppState::Field::rootNode:
            updateCard();
            break;
        default:
            break;
        }
    });
    // The summary tells the scan's age, which changes with time alone.
    clock_.setInterval(30 * 1000);
    connect(&clock_, &QTimer::timeout, this, &SectionRail::updateCard);
    clock_.start();
    updateSelection();
    updateCard();
}

SectionRow* SectionRail::row(AppSection section) const {
    for (SectionRow* row : rows_) {
        if (row->section() == section) return row;
    }
    return nullptr;
}

QString SectionRail::shownSummary() const {
    return summary_->text();
}

QString SectionRail::fitToLines(const QString& text, const QFont& font, int width, int lines) {
    if (text.isEmpty() || lines <= 0 || width <= 0) return QString();
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList result;
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (result.size() == lines - 1) {
            // The last allowed line takes the rest, cut to fit.
            const QString rest = text.mid(line.textStart());
            result << QFontMetrics(font).elidedText(rest.trimmed(), Qt::ElideRight, width);
            break;
        }
        result << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return result.join(QLatin1Char('\n'));
}

void SectionRail::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF area(rect());
    VibrancyBackground::paint(painter, area, VibrancyMaterial::sidebar, VibrancyBlendingMode::behindWindow);
    painter.fillRect(area, QColor(0, 0, 0, qRound(0.28 * 255)));
    QLinearGradient wash(area.topLeft(), area.bottomLeft());
    wash.setColorAt(0, T::withOpacity(T::accentTeal(), 0.04));
    wash.setColorAt(1, Qt::transparent);
    painter.fillRect(area, wash);
}

void SectionRail::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateCard();
}

void SectionRail::updateSelection() {
    for (SectionRow* row : rows_) row->setSelected(row->section() == state_.section());
}

void SectionRail::updateCard() {
    const std::optional<QString> summary = state_.lastScanSummary();
    card_->setVisible(summary.has_value());
    summaryText_ = summary.value_or(QString());
    summary_->setText(fitToLines(summaryText_, summary_->font(), kCardTextWidth, 2));
    summary_->setToolTip(summaryText_);
}

}  // namespace tarnwick
