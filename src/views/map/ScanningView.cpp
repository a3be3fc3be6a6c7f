#include "views/map/ScanningView.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "models/ScanProgress.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/common/BusySpinner.h"
#include "views/common/PathLineLabel.h"
#include "views/common/ViewText.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

constexpr int kPathWidth = 520;

}  // namespace

ScanningView::ScanningView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("ScanningView"));
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    layout->addStretch(1);

    spinner_ = new BusySpinner(36, T::accent(), this);
    layout->addWidget(spinner_, 0, Qt::AlignHCenter);

    title_ = ViewText::label(QString(), 20, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("scanningTitle"));
    title_->setAlignment(Qt::AlignCenter);
    layout->addWidget(title_, 0, Qt::AlignHCenter);

    auto* figures = new QVBoxLayout;
    figures->setSpacing(6);
    counts_ = ViewText::label(QString(), 13, QFont::Normal, T::accent(), this);
    counts_->setObjectName(QStringLiteral("scanningCounts"));
    counts_->setAlignment(Qt::AlignCenter);
    figures->addWidget(counts_, 0, Qt::AlignHCenter);
    path_ = new PathLineLabel(kPathWidth, 2, this);
    path_->setObjectName(QStringLiteral("scanningPath"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    path_->setFont(mono);
    ViewText::setTextColor(path_, T::textSecondary());
    path_->setMinimumWidth(kPathWidth);
    figures->addWidget(path_, 0, Qt::AlignHCenter);
    layout->addLayout(figures);

    auto* note = ViewText::label(QStringLiteral("Building Large / Old / Types indexes while scanning"), 11,
                                 QFont::Normal, T::textSecondary(), this);
    note->setAlignment(Qt::AlignCenter);
    layout->addWidget(note, 0, Qt::AlignHCenter);

    cancel_ = new TaldoGhostButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("scanningCancel"));
    connect(cancel_, &QPushButton::clicked, this, [this] { state_.cancelScan(); });
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::progress || field == AppState::Field::scanRootName) refresh();
    });
    refresh();
}

QString ScanningView::titleText(const QString& rootName) {
    return QStringLiteral("Scanning ") + rootName + QStringLiteral("\u2026");
}

QString ScanningView::countsText(const ScanProgress& progress) {
    return QString::number(progress.scannedFiles) + QStringLiteral(" items \u00B7 ") +
           ByteCountFormatter::fileStyle(progress.scannedBytes);
}

QString ScanningView::title() const {
    return title_->text();
}

QString ScanningView::counts() const {
    return counts_->text();
}

QString ScanningView::currentPath() const {
    return path_->text();
}

void ScanningView::refresh() {
    title_->setText(titleText(state_.scanRootName()));
    counts_->setText(countsText(state_.progress()));
    path_->setText(state_.progress().currentPath);
}

}  // namespace tarnwick
