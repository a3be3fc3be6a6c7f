#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QSizePolicy>
#include <QWidget>

namespace tarnwick::test {

// The share (0 to 1) of a control's pixels that its painting changes in a grab
// of `top`: the control is grabbed once shown and once hidden with its place
// kept, and the pixels inside its rectangle compared. A control that is laid
// out, enabled and "visible" but painted over, faded out or drawn in the
// colours of the card behind it comes out near 0.
inline double paintedShare(QWidget* top, QWidget* control) {
    // Layouts still waiting to run would leave the control without its place.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QRect area(control->mapTo(top, QPoint(0, 0)), control->size());
    const QImage shown = top->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QSizePolicy policy = control->sizePolicy();
    const bool kept = policy.retainSizeWhenHidden();
    policy.setRetainSizeWhenHidden(true);
    control->setSizePolicy(policy);
    control->hide();
    const QImage hidden = top->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    control->show();
    policy.setRetainSizeWhenHidden(kept);
    control->setSizePolicy(policy);

    const QRect inside = area.intersected(shown.rect()).intersected(hidden.rect());
    if (inside.isEmpty()) return 0.0;
    const double scale = shown.devicePixelRatio();
    int changed = 0;
    int total = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QPoint at(int(x * scale), int(y * scale));
            const QColor a = shown.pixelColor(at);
            const QColor b = hidden.pixelColor(at);
            const int difference =
                std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
            changed += difference > 48 ? 1 : 0;
            ++total;
        }
    }
    return double(changed) / double(total);
}

}  // namespace tarnwick::test
