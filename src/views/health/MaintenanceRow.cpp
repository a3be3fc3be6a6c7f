#include "views/health/MaintenanceRow.h"

#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "views/common/ViewText.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

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
    result_ = new QPlainTextEdit(this);
    result_->setObjectName(QStringLiteral("maintenanceResult"));
    result_->setReadOnly(true);
    result_->setTabChangesFocus(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    result_->setFrameShape(QFrame::NoFrame);
    result_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    result_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    result_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    result_->document()->setDocumentMargin(0);
    result_->setFont(monospaced());
    result_->viewport()->setAutoFillBackground(false);
    QPalette palette = result_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, T::accent());
    result_->setPalette(palette);
    result_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The height follows the wrapped lines, up to the lines shown at once.
    connect(result_->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &MaintenanceRow::fitResult);
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
    const QString result = task_.lastResult.value_or(QString());
    if (result_->toPlainText() != result) result_->setPlainText(result);
    result_->setHidden(!task_.lastResult);
    run_->setEnabled(!task_.isRunning);
    fitResult();
}

void MaintenanceRow::fitResult() {
    // A plain text layout measures its height in lines.
    const int lines = std::clamp(int(std::ceil(result_->document()->documentLayout()->documentSize().height())), 1,
                                 resultLines);
    const int height = lines * result_->fontMetrics().lineSpacing() + 2 * result_->frameWidth() + 2;
    if (result_->height() != height || result_->minimumHeight() != height) result_->setFixedHeight(height);
}

}  // namespace tarnwick
