#include "views/health/MaintenanceRow.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "views/common/ClampedText.h"
#include "views/common/ViewText.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;

QFont monospaced() {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    return mono;
}

}  // namespace

MaintenanceRow::MaintenanceRow(const MaintenanceTask& task, QWidget* parent) : QWidget(parent), task_(task) {
    setObjectName(QStringLiteral("maintenanceRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(12);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    title_ = ViewText::label(QString(), 13, QFont::DemiBold, T::textPrimary(), this);
    title_->setObjectName(QStringLiteral("maintenanceTitle"));
    texts->addWidget(title_);
    description_ = ViewText::label(QString(), 10, QFont::Normal, T::textSecondary(), this);
    description_->setObjectName(QStringLiteral("maintenanceDescription"));
    description_->setFont(monospaced());
    description_->setWordWrap(true);
    texts->addWidget(description_);
    result_ = new ClampedText(resultLines, this);
    result_->setObjectName(QStringLiteral("maintenanceResult"));
    result_->setFont(monospaced());
    ViewText::setTextColor(result_, T::accent());
    texts->addWidget(result_);
    layout->addLayout(texts, 1);

    run_ = new TaldoGhostButton(QStringLiteral("Run"), this);
    run_->setObjectName(QStringLiteral("maintenanceRun"));
    connect(run_, &QPushButton::clicked, this, &MaintenanceRow::runRequested);
    layout->addWidget(run_, 0, Qt::AlignVCenter);
    apply();
}

void MaintenanceRow::setTask(const MaintenanceTask& task) {
    if (task == task_) return;
    task_ = task;
    apply();
}

QString MaintenanceRow::resultText() const {
    return task_.lastResult.value_or(QString());
}

void MaintenanceRow::apply() {
    title_->setText(rawValue(task_.kind));
    description_->setText(description(task_.kind));
    result_->setText(task_.lastResult.value_or(QString()));
    result_->setHidden(!task_.lastResult);
    run_->setEnabled(!task_.isRunning);
}

}  // namespace tarnwick
