// Paths in the small monospace font keep their underscores: at 10 pixels the
// font's underscore lies below its descent, and a line only as high as the
// font cut it off ("x86_64" read "x86 64").
#include "views/common/ClampedText.h"
#include "views/common/ElidedLabel.h"
#include "views/common/ViewText.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QImage>

#include <initializer_list>

using namespace tarnwick;

namespace {

// The pixels of the widget, drawn white on black, that the text lights.
int litPixels(QWidget& widget) {
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) lit += qGray(image.pixel(x, y)) > 96 ? 1 : 0;
    }
    return lit;
}

}  // namespace

TEST(TextLines, UnderscoresOfSmallMonospaceTextAreDrawn) {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    ElidedLabel label(QStringLiteral("________"));
    ClampedText clamped(2);
    clamped.setText(QStringLiteral("________"));
    for (QWidget* widget : std::initializer_list<QWidget*>{&label, &clamped}) {
        SCOPED_TRACE(widget->metaObject()->className());
        widget->setFont(mono);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, Qt::black);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
        ViewText::setTextColor(widget, Qt::white);
        const QSize hint = widget->sizeHint();
        widget->resize(hint.width(), widget->hasHeightForWidth() ? widget->heightForWidth(hint.width()) : hint.height());
        EXPECT_GT(litPixels(*widget), 8);
    }
}
