#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QWidget>

#include <cstdlib>

namespace tarnwick::test {

// The share (0 to 1) of a control's pixels that its painting changes in a grab
// of `top`: grabbed once shown and once hidden with its place kept. A control
// painted over, faded out or drawn in the card's own colours comes out near 0.
inline double paintedShare(QWidget* top, QWidget* control) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QRect area(control->mapTo(top, QPoint(0, 0)), control->size());
    const QImage shown = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QSizePolicy policy = control->sizePolicy();
    const bool kept = policy.retainSizeWhenHidden();
    policy.setRetainSizeWhenHidden(true);
    control->setSizePolicy(policy);
    control->hide();
    const QImage hidden = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    control->show();
    policy.setRetainSizeWhenHidden(kept);
    control->setSizePolicy(policy);

    const QRect inside = area.intersected(shown.rect());
    int changed = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb a = shown.pixel(x, y);
            const QRgb b = hidden.pixel(x, y);
            const int difference = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            changed += difference > 48 ? 1 : 0;
        }
    }
    return inside.isEmpty() ? 0.0 : double(changed) / double(inside.width() * inside.height());
}

}  // namespace tarnwick::test
