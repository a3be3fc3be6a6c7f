#include "views/health/PerformanceRow.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "views/common/ElidedLabel.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

}  // namespace

PerformanceRow::PerformanceRow(const PerformanceItem& item, QWidget* parent) : QWidget(parent), item_(item) {
    setObjectName(QStringLiteral("performanceRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 6);
    layout->setSpacing(12);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    QLabel* title = ViewText::label(item.title, 13, QFont::DemiBold, T::textPrimary(), this);
    title->setObjectName(QStringLiteral("performanceTitle"));
    title->setTextFormat(Qt::PlainText);  // an entry's Name= is whatever its author wrote
    title->setWordWrap(true);
    texts->addWidget(title);
    auto* detail = new ElidedLabel(item.detail, Qt::ElideMiddle, this);
    detail->setObjectName(QStringLiteral("performanceDetail"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    detail->setFont(mono);
    ViewText::setTextColor(detail, T::textSecondary());
    texts->addWidget(detail);
    layout->addLayout(texts, 1);

    QLabel* metric = ViewText::label(item.metric, 11, QFont::Medium, T::accent(), this);
    metric->setObjectName(QStringLiteral("performanceMetric"));
    layout->addWidget(metric, 0, Qt::AlignTop);

    if (item.canQuit && item.pid) {
        quit_ = new TaldoGhostButton(QStringLiteral("Quit"), this);
        quit_->setObjectName(QStringLiteral("performanceQuit"));
        connect(quit_, &QPushButton::clicked, this, &PerformanceRow::quitRequested);
        layout->addWidget(quit_, 0, Qt::AlignTop);
    }
    if (item.canDisable()) {
        disable_ = new TaldoGhostButton(item.isDisabling ? QStringLiteral("Disabling\u2026") : QStringLiteral("Disable"),
                                        this);
        disable_->setObjectName(QStringLiteral("performanceDisable"));
        disable_->setEnabled(!item.isDisabling);
        connect(disable_, &QPushButton::clicked, this, &PerformanceRow::disableRequested);
        layout->addWidget(disable_, 0, Qt::AlignTop);
    }
    if (item.path) {
        reveal_ = new PlainButton(QString(), this);
        reveal_->setObjectName(QStringLiteral("performanceReveal"));
        reveal_->setSymbol(QStringLiteral("folder"), 14);
        reveal_->setTextColor(T::textSecondary());
        reveal_->setToolTip(QStringLiteral("Reveal in File Manager"));
        connect(reveal_, &QAbstractButton::clicked, this, &PerformanceRow::revealRequested);
        layout->addWidget(reveal_, 0, Qt::AlignTop);
    }
}

}  // namespace tarnwick
