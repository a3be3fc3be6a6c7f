#include "views/health/ThreatRow.h"

#include "design/TaldoTheme.h"
#include "support/PathRules.h"
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

constexpr int kCheckSize = 18;

}  // namespace

ThreatRow::ThreatRow(const ProtectionFinding& finding, QWidget* parent)
    : FilledPanel(T::panel(), 10, parent), finding_(finding) {
    setObjectName(QStringLiteral("threatRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(12);

    check_ = new PlainButton(QString(), this);
    check_->setObjectName(QStringLiteral("threatCheck"));
    connect(check_, &QAbstractButton::clicked, this, [this] { emit toggleRequested(finding_.id); });
    layout->addWidget(check_, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    title_ = ViewText::label(QString(), 13, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("threatTitle"));
    title_->setWordWrap(true);
    texts->addWidget(title_);
    kind_ = ViewText::label(QString(), 11, QFont::Normal, T::warning(), this);
    kind_->setObjectName(QStringLiteral("threatKind"));
    texts->addWidget(kind_);
    detail_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), this);
    detail_->setObjectName(QStringLiteral("threatDetail"));
    detail_->setWordWrap(true);
    texts->addWidget(detail_);
    path_ = new ElidedLabel(QString(), Qt::ElideRight, this);
    path_->setObjectName(QStringLiteral("threatPath"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    path_->setFont(mono);
    ViewText::setTextColor(path_, T::textSecondary());
    texts->addWidget(path_);
    layout->addLayout(texts, 1);

    auto* reveal = new PlainButton(QString(), this);
    reveal->setObjectName(QStringLiteral("threatReveal"));
    reveal->setSymbol(QStringLiteral("folder"), 14);
    reveal->setTextColor(T::textSecondary());
    reveal->setToolTip(QStringLiteral("Reveal in File Manager"));
    connect(reveal, &QAbstractButton::clicked, this, [this] { emit revealRequested(finding_.path); });
    layout->addWidget(reveal, 0, Qt::AlignTop);
    apply();
}

QString ThreatRow::kindLine(const ProtectionFinding& finding) {
    return rawValue(finding.kind) + QStringLiteral(" \u00B7 ") + rawValue(finding.severity).toUpper();
}

void ThreatRow::setFinding(const ProtectionFinding& finding) {
    if (finding == finding_) return;
    finding_ = finding;
    apply();
}

void ThreatRow::apply() {
    const bool selected = finding_.isSelected;
    check_->setSymbol(selected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"), kCheckSize);
    check_->setTextColor(selected ? T::accentTeal() : T::textSecondary());
    title_->setText(finding_.title);
    kind_->setText(kindLine(finding_));
    ViewText::setTextColor(kind_, finding_.severity == ProtectionFinding::Severity::high ? T::danger() : T::warning());
    detail_->setText(finding_.detail);
    path_->setText(PathRules::abbreviatingWithTilde(finding_.path));
}

}  // namespace tarnwick
