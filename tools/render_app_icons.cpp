// Renders the application icon at the freedesktop icon sizes into an icon
// theme folder: render_app_icons FOLDER writes FOLDER/NxN/apps/ICON.png.
// The committed icons under data/icons/hicolor are made with it.
#include "design/BrandMark.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>

namespace {

const char* const kIconName = "com.merrowfield4.tarnwick";
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256, 512};

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: render_app_icons ICON-THEME-FOLDER\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int size : kSizes) {
        const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString path = apps + QStringLiteral("/") + QLatin1String(kIconName) + QStringLiteral(".png");
        if (!QDir().mkpath(apps) || !tarnwick::BrandMark::appIcon(size).save(path, "PNG")) {
            err << "render_app_icons: cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
