#include "views/shell/DetailArea.h"

#include "state/AppState.h"
#include "views/shell/SectionPlaceholder.h"

#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

DetailArea::DetailArea(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("DetailArea"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedWidget(this);
    layout->addWidget(stack_);
    connect(&state_, &AppState::changed, this, [this](AppState::Field field) {
        if (field == AppState::Field::screen || field == AppState::Field::section) showCurrent();
    });
    showCurrent();
}

void DetailArea::setScreenFactory(AppSection section, ScreenFactory factory) {
    factories_.insert(section, std::move(factory));
    if (QPointer<QWidget> old = built_.take(section)) {
        stack_->removeWidget(old);
        old->deleteLater();
    }
    showCurrent();
}

void DetailArea::setScanningScreenFactory(ScreenFactory factory) {
    scanningFactory_ = std::move(factory);
    if (scanning_) {
        stack_->removeWidget(scanning_);
        scanning_->deleteLater();
        scanning_.clear();
    }
    showCurrent();
}

QWidget* DetailArea::currentScreen() const {
    return stack_->currentWidget();
}

QWidget* DetailArea::screen(AppSection section) {
    if (QPointer<QWidget> existing = built_.value(section)) return existing;
    const auto factory = factories_.constFind(section);
    QWidget* made = factory != factories_.constEnd() && *factory ? (*factory)(state_) : nullptr;
    if (!made) made = new SectionPlaceholder(rawValue(section), iconName(section));
    built_.insert(section, adopt(made));
    return made;
}

QWidget* DetailArea::scanningScreen() {
    if (scanning_) return scanning_;
    QWidget* made = scanningFactory_ ? scanningFactory_(state_) : nullptr;
    if (!made) {
        made = new SectionPlaceholder(QStringLiteral("Scanning\u2026"), QStringLiteral("circle.hexagongrid.fill"),
                                      QStringLiteral("The scanning screen is not available in this version."));
    }
    scanning_ = adopt(made);
    return made;
}

void DetailArea::showCurrent() {
    QWidget* wanted = state_.screen() == AppState::Screen::scanning ? scanningScreen() : screen(state_.section());
    if (stack_->currentWidget() != wanted) stack_->setCurrentWidget(wanted);
}

QWidget* DetailArea::adopt(QWidget* screen) {
    stack_->addWidget(screen);
    return screen;
}

}  // namespace tarnwick
