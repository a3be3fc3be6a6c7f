#include "views/shell/AppShell.h"

#include "design/TaldoAtmosphereBackground.h"
#include "design/VibrancyBackground.h"
#include "state/AppState.h"
#include "views/shell/AboutView.h"
#include "views/shell/DetailArea.h"
#include "views/common/HairlineDivider.h"
#include "views/shell/SectionRail.h"

#include <QHBoxLayout>
#include <QPainter>

namespace tarnwick {

AppShell::AppShell(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("AppShell"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    rail_ = new SectionRail(state_, this);
    detail_ = new DetailArea(state_, this);
    layout->addWidget(rail_);
    layout->addWidget(new HairlineDivider(Qt::Vertical, this));
    layout->addWidget(detail_, 1);

    about_ = new AboutView(state_, this);
    about_->hide();
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::showAbout) updateAbout();
    });
    updateAbout();
}

void AppShell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF area(rect());
    VibrancyBackground::paint(painter, area, VibrancyMaterial::underWindowBackground,
                              VibrancyBlendingMode::behindWindow);
    TaldoAtmosphereBackground::paint(painter, area);
}

void AppShell::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    about_->setGeometry(rect());
}

void AppShell::updateAbout() {
    if (state_.showAbout()) {
        about_->setGeometry(rect());
        about_->raise();
        about_->show();
        about_->setFocus(Qt::OtherFocusReason);
    } else {
        about_->hide();
    }
}

}  // namespace tarnwick
