#pragma once

#include <QImage>
#include <QSize>

namespace tarnwick {

// A sheet showing every colour, backdrop, card, button state, brand mark and symbol of the design
// system, drawn by the same painting code the widgets use (and a few live widgets), for reviewing
// the look in one picture.
class DesignGallery {
public:
    DesignGallery() = delete;

    static QSize size();
    // Draws the sheet. Needs a QApplication (the live widgets are drawn off screen).
    static QImage render();
};

} // namespace tarnwick
