#include "views/map/AnalysisTabBar.h"

#include "design/TaldoTheme.h"
#include "state/AppState.h"
#include "views/common/PlainButton.h"
#include "views/common/ViewText.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwick {

namespace {

using T = TaldoTheme;

QColor tabBarFill() {
    return T::withOpacity(T::panel(), T::panel().alphaF() * 0.65);
}

}  // namespace

AnalysisTabBar::AnalysisTabBar(AppState& state, QWidget* parent) : PanelStrip(tabBarFill(), parent), state_(state) {
    setObjectName(QStringLiteral("AnalysisTabBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->setSpacing(6);
    for (AnalysisTab tab : allAnalysisTabs()) {
        auto* button = new PlainButton(rawValue(tab), this);
        button->setObjectName(QStringLiteral("analysisTab"));
        button->setFont(ViewText::font(12, QFont::DemiBold));
        button->setSymbol(symbolName(tab), 12);
        button->setPadding(QMargins(12, 7, 12, 7));
        connect(button, &QAbstractButton::clicked, this, [this, tab] { state_.setAnalysisTab(tab); });
        layout->addWidget(button);
        buttons_.insert(tab, button);
    }
    layout->addStretch(1);
    indexed_ = ViewText::label(QString(), 11, QFont::Normal, T::textSecondary(), this);
    indexed_->setObjectName(QStringLiteral("filesIndexed"));
    layout->addWidget(indexed_);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::analysisTab) updateTabs();
        if (field == AppState::Field::insights) updateCount();
    });
    updateTabs();
    updateCount();
}

QString AnalysisTabBar::symbolName(AnalysisTab tab) {
    switch (tab) {
    case AnalysisTab::map:
        return QStringLiteral("circle.grid.cross");
    case AnalysisTab::largest:
        return QStringLiteral("shippingbox");
    case AnalysisTab::oldest:
        return QStringLiteral("clock.arrow.circlepath");
    case AnalysisTab::types:
        return QStringLiteral("square.grid.2x2");
    }
    return QString();
}

QString AnalysisTabBar::indexedText(qint64 fileCount) {
    if (fileCount <= 0) return QString();
    return QString::number(fileCount) + QStringLiteral(" files indexed");
}

QString AnalysisTabBar::indexedLabelText() const {
    return indexed_->isHidden() ? QString() : indexed_->text();
}

void AnalysisTabBar::updateTabs() {
    for (auto it = buttons_.cbegin(); it != buttons_.cend(); ++it) {
        const bool current = it.key() == state_.analysisTab();
        it.value()->setFill(current ? T::withOpacity(T::accent(), 0.22) : QColor(Qt::transparent));
        it.value()->setTextColor(current ? T::accent() : T::textSecondary());
    }
}

void AnalysisTabBar::updateCount() {
    const QString text = indexedText(state_.insights().fileCount);
    indexed_->setText(text);
    indexed_->setHidden(text.isEmpty());
}

}  // namespace tarnwick
