// Draws the design system's gallery sheet to a PNG: design_gallery OUTPUT.png
#include "design/DesignGallery.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: design_gallery OUTPUT.png\n";
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QImage image = tarnwick::DesignGallery::render();
    if (!image.save(output, "PNG")) {
        err << "design_gallery: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
