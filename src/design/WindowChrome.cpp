#include "design/WindowChrome.h"

#include "design/TaldoTheme.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTabBar>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace tarnwick {

namespace {

const char* const kConfiguredProperty = "tarnwickWindowChrome";

// Restyles each window as it becomes active.
class ActivationObserver : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow())
                WindowChrome::configure(widget);
        }
        return false;
    }
};

std::function<bool(QWidget*)>& systemMoveSlot() {
    static std::function<bool(QWidget*)> starter;
    return starter;
}

// Asks the window system to move the window with the pointer.
bool startSystemMove(QWidget* window) {
    if (const auto& starter = systemMoveSlot())
        return starter(window);
    QWindow* handle = window->windowHandle();
    return handle && handle->startSystemMove();
}

// Moves the window when the pointer, pressed on its background (a left press left unhandled by
// every widget), travels past the platform's drag distance with the button held. A press and
// release in place stays a plain click; nothing is taken from it.
class BackgroundDrag : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* press = static_cast<QMouseEvent*>(event);
            if (!window->isWindow() || press->button() != Qt::LeftButton)
                return false;
            QWidget* target = window->childAt(press->position().toPoint());
            if (WindowChrome::startsWindowMove(window, target ? target : window)) {
                pressedWindow_ = window;
                pressedAt_ = press->globalPosition();
            } else {
                pressedWindow_.clear();
            }
            return false;
        }
        case QEvent::MouseMove: {
            if (!pressedWindow_ || pressedWindow_ != window)
                return false;
            auto* move = static_cast<QMouseEvent*>(event);
            if (!(move->buttons() & Qt::LeftButton)) {
                pressedWindow_.clear(); // the release went elsewhere
                return false;
            }
            if ((move->globalPosition() - pressedAt_).manhattanLength() < QApplication::startDragDistance())
                return false;
            pressedWindow_.clear();
            return startSystemMove(window);
        }
        case QEvent::MouseButtonRelease:
            if (pressedWindow_ == window)
                pressedWindow_.clear();
            return false;
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> pressedWindow_;
    QPointF pressedAt_;
};

QPointer<ActivationObserver>& observer() {
    static QPointer<ActivationObserver> instance;
    return instance;
}

BackgroundDrag* backgroundDrag() {
    static QPointer<BackgroundDrag> instance;
    if (!instance)
        instance = new BackgroundDrag(qApp);
    return instance;
}

bool isInteractive(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractScrollArea*>(widget) ||
           qobject_cast<const QAbstractSlider*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QComboBox*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QTabBar*>(widget);
}

} // namespace

QPalette WindowChrome::palette() {
    using T = TaldoTheme;
    QPalette p;
    const QColor window = T::rgb(0.115, 0.12, 0.135);
    const QColor text = T::textPrimary();
    const QColor secondary = T::textSecondary();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, disabled ? secondary : text);
        p.setColor(group, QPalette::Base, T::background());
        p.setColor(group, QPalette::AlternateBase, T::panelSolid());
        p.setColor(group, QPalette::ToolTipBase, T::panelSolid());
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::PlaceholderText, secondary);
        p.setColor(group, QPalette::Text, disabled ? secondary : text);
        p.setColor(group, QPalette::Button, T::panelSolid());
        p.setColor(group, QPalette::ButtonText, disabled ? secondary : text);
        p.setColor(group, QPalette::BrightText, Qt::white);
        p.setColor(group, QPalette::Light, T::rgb(0.22, 0.23, 0.25));
        p.setColor(group, QPalette::Midlight, T::rgb(0.17, 0.18, 0.20));
        p.setColor(group, QPalette::Mid, T::rgb(0.10, 0.11, 0.12));
        p.setColor(group, QPalette::Dark, T::rgb(0.05, 0.05, 0.06));
        p.setColor(group, QPalette::Shadow, Qt::black);
        // The window's tint and selection colour is the teal accent.
        p.setColor(group, QPalette::Highlight, disabled ? T::withOpacity(T::accentTeal(), 0.4) : T::accentTeal());
        p.setColor(group, QPalette::HighlightedText, T::withOpacity(Qt::black, 0.85));
        p.setColor(group, QPalette::Link, T::accentTeal());
        p.setColor(group, QPalette::LinkVisited, T::accentTeal().darker(120));
    }
    return p;
}

bool WindowChrome::isTitled(const QWidget* window) {
    if (!window || !window->isWindow())
        return false;
    if (window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return false;
    switch (window->windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Drawer:
    case Qt::Tool:
        return true;
    default:
        return false;
    }
}

bool WindowChrome::isConfigured(const QWidget* window) {
    return window && window->property(kConfiguredProperty).toBool();
}

bool WindowChrome::startsWindowMove(const QWidget* window, const QWidget* target) {
    if (!window || !target || target->window() != window)
        return false;
    for (const QWidget* w = target; w; w = w->parentWidget()) {
        if (isInteractive(w))
            return false;
        if (w == window)
            break;
    }
    return true;
}

void WindowChrome::configure(QWidget* window) {
    if (!isTitled(window))
        return;
    const QPalette dark = palette();
    if (window->palette() != dark || !window->testAttribute(Qt::WA_SetPalette))
        window->setPalette(dark);
    window->setAutoFillBackground(true);
    window->installEventFilter(backgroundDrag());
    window->setProperty(kConfiguredProperty, true);
}

void WindowChrome::applyToAllWindows() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        configure(window);
}

void WindowChrome::install() {
    applyToAllWindows();
    if (observer())
        return;
    // Menus, tool tips and other popups are separate windows that do not inherit a window's
    // palette; the application palette keeps them dark too.
    QApplication::setPalette(palette());
    observer() = new ActivationObserver(qApp);
    qApp->installEventFilter(observer());
}

void WindowChrome::setSystemMoveStarter(std::function<bool(QWidget* window)> starter) {
    systemMoveSlot() = std::move(starter);
}

bool WindowChrome::isInstalled() {
    return !observer().isNull();
}

} // namespace tarnwick
