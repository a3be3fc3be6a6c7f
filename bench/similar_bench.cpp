// Looks for similar pictures as the clutter scan does, and tells true pairs
// from false ones by the file names.
//
//   similar_bench --make DIR   build a set of real pictures in DIR: the
//                              backgrounds and the theme's largest icons found
//                              on this machine, each as NAME.EXT, and for
//                              every third one a near-duplicate NAME-near.EXT
//                              made from it (resized, re-encoded as JPEG,
//                              cropped a little or colour-shifted, in turn)
//   similar_bench DIR          look in DIR
//
// Prints each pair the clutter scan's search lists (the listed picture, the
// one it is "Similar to", and whether the names mark them as a planted
// pair), then, over every pair of pictures in DIR (no bound on their number),
// how many planted pairs are found and how many pairs of different pictures
// are taken for similar: by the average hash alone and by the whole check.
// The pictures for --make come from Debian packages (scripts/deps --bench);
// the icons are saved uncompressed, so that they are large enough to be
// looked at.
#include "platform/Environment.h"
#include "services/cleanup/ClutterSearches.h"
#include "services/cleanup/ImageFingerprint.h"
#include "services/cleanup/JunkContext.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

using namespace tarnwick;

namespace {

constexpr qint64 kMostBytes = 12000000;

// The base name that marks a planted pair: "city" for "city.png" and "city-near.jpg".
QString pairName(const QString& path) {
    QString base = QFileInfo(path).completeBaseName();
    if (base.endsWith(QLatin1String("-near"))) base.chop(5);
    return base;
}

bool plantedPair(const QString& a, const QString& b) {
    return pairName(a) == pairName(b);
}

// A near-duplicate of a picture, of the given kind (0 to 3).
void plant(const QImage& original, bool hasAlpha, int kind, const QString& base, const QString& folder) {
    const QString stem = folder + QLatin1Char('/') + base + QStringLiteral("-near");
    switch (kind) {
    case 0: {  // resized to 60 %
        const QImage smaller = original.scaled(original.size() * 0.6, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (hasAlpha) {
            smaller.save(stem + QStringLiteral(".png"), "PNG", 100);
        } else {
            smaller.save(stem + QStringLiteral(".jpg"), "JPEG", 92);
        }
        break;
    }
    case 1:  // re-encoded lossily (as WebP where the picture is see-through)
        if (hasAlpha) {
            original.save(stem + QStringLiteral(".webp"), "WEBP", 60);
        } else {
            original.save(stem + QStringLiteral(".jpg"), "JPEG", 60);
        }
        break;
    case 2: {  // 4 % cut from each side
        const int dx = original.width() * 4 / 100;
        const int dy = original.height() * 4 / 100;
        const QImage cropped = original.copy(dx, dy, original.width() - 2 * dx, original.height() - 2 * dy);
        cropped.save(stem + (hasAlpha ? QStringLiteral(".png") : QStringLiteral(".jpg")), hasAlpha ? "PNG" : "JPEG",
                     hasAlpha ? 100 : 90);
        break;
    }
    default: {  // warmer and a little brighter
        QImage shifted = original.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < shifted.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(shifted.scanLine(y));
            for (int x = 0; x < shifted.width(); ++x) {
                const QRgb p = line[x];
                line[x] = qRgba(qBound(0, int(qRed(p) * 1.12) + 8, 255), qBound(0, qGreen(p) + 8, 255),
                                qBound(0, int(qBlue(p) * 0.85) + 8, 255), qAlpha(p));
            }
        }
        shifted.save(stem + (hasAlpha ? QStringLiteral(".png") : QStringLiteral(".jpg")), hasAlpha ? "PNG" : "JPEG",
                     hasAlpha ? 100 : 92);
        break;
    }
    }
}

int make(const QString& folder) {
    QDir().mkpath(folder);
    struct Source {
        QString path;
        QString name;
        bool icon;
    };
    std::vector<Source> sources;
    for (const char* root : {"/usr/share/backgrounds", "/usr/share/wallpapers"}) {
        QDirIterator it(QString::fromLatin1(root), {"*.jpg", "*.jpeg", "*.png", "*.webp"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            sources.push_back({path, QStringLiteral("bg-") + QFileInfo(path).completeBaseName(), false});
        }
    }
    // Figures of the manuals, large enough to be looked at.
    for (const char* root : {"/usr/share/doc", "/usr/share/info"}) {
        QDirIterator it(QString::fromLatin1(root), {"*.png", "*.jpg"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (QFileInfo(path).size() > 120000) {
                sources.push_back({path, QStringLiteral("doc-") + QFileInfo(path).completeBaseName(), false});
            }
        }
    }
    QDirIterator icons(QStringLiteral("/usr/share/icons/Adwaita/512x512"), {"*.png"}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (icons.hasNext()) {
        const QString path = icons.next();
        sources.push_back({path, QStringLiteral("icon-") + QFileInfo(path).completeBaseName(), true});
    }
    std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.name < b.name; });
    int pictures = 0, planted = 0;
    // The packages ship some pictures several times: in several sizes, light
    // and dark, in colour schemes, or under two names. Each is taken once.
    static const QRegularExpression variant(
        QStringLiteral("(_\\d+x\\d+|-[dl]|-dark|-light|-cold|-warm|-radioactive)(?=-|$)"));
    QSet<QString> families;
    std::vector<QImage> thumbnails;
    // Two names of one picture (or of one within a level or two): the same
    // to anyone looking.
    auto seenBefore = [&thumbnails](const QImage& image) {
        const QImage small = image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                 .scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        for (const QImage& other : thumbnails) {
            int most = 0;
            for (int y = 0; y < 32 && most <= 4; ++y) {
                for (int x = 0; x < 32; ++x) {
                    const QRgb a = small.pixel(x, y), b = other.pixel(x, y);
                    most = std::max({most, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
                }
            }
            if (most <= 4) return true;
        }
        thumbnails.push_back(small);
        return false;
    };
    for (const Source& source : sources) {
        QImageReader reader(source.path);
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (image.isNull()) continue;
        const QString family = source.name.toLower().remove(variant);
        if (families.contains(family) || seenBefore(image)) continue;
        families.insert(family);
        const QString suffix = QFileInfo(source.path).suffix().toLower();
        const QString target = folder + QLatin1Char('/') + source.name + QLatin1Char('.') + suffix;
        if (QFile::exists(target)) continue;
        if (source.icon) {
            image.save(target, "PNG", 100);  // uncompressed: over the scan's lower bound
        } else if (QFileInfo(source.path).size() < kMostBytes) {
            QFile::copy(source.path, target);
        } else {
            // Too large for the scan: a smaller copy stands for it.
            image = image.scaled(image.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            image.save(target, suffix == "png" ? "PNG" : "JPEG", 92);
        }
        if (pictures % 3 == 0) {
            plant(image, image.hasAlphaChannel(), planted % 4, source.name, folder);
            ++planted;
        }
        ++pictures;
    }
    std::printf("made\t%d pictures\t%d near-duplicates\tin %s\n", pictures, planted, folder.toUtf8().constData());
    return 0;
}

struct Picture {
    QString path;
    ImageFingerprint print;
};

int look(const QString& folder, bool metrics) {
    Environment environment = Environment::system();
    environment.homeDirectory = folder;
    Environment::setCurrent(environment);

    const auto start = std::chrono::steady_clock::now();
    const QList<ClutterItem> items = ClutterService::similarImages({folder}, JunkContext(environment));
    const double searchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int listedTrue = 0, listedFalse = 0;
    for (const ClutterItem& item : items) {
        const QString kept = QDir(folder).filePath(item.detail.mid(item.detail.indexOf(QLatin1Char('/')) + 1));
        const bool planted = plantedPair(item.path, kept);
        (planted ? listedTrue : listedFalse)++;
        std::printf("pair\t%s\t%s\t%s\n", QFileInfo(item.path).fileName().toUtf8().constData(),
                    QFileInfo(kept).fileName().toUtf8().constData(), planted ? "planted" : "DIFFERENT");
    }
    std::printf("listed\t%lld items\t%d planted pairs\t%d pairs of different pictures\t%.2f s\n",
                static_cast<long long>(items.size()), listedTrue, listedFalse, searchSeconds);

    std::vector<Picture> pictures;
    QStringList paths;
    QDirIterator it(folder, {"*.jpg", "*.jpeg", "*.png", "*.webp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) paths.append(it.next());
    paths.sort();
    const auto hashStart = std::chrono::steady_clock::now();
    const auto prints = ImageFingerprint::ofFiles(paths, kMostBytes);
    std::printf("decoded\t%lld pictures\t%.2f s\n", static_cast<long long>(paths.size()),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - hashStart).count());
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (prints[size_t(i)]) pictures.push_back({paths[i], *prints[size_t(i)]});
    }
    int plantedPairs = 0, filterTrue = 0, filterFalse = 0, checkTrue = 0, checkFalse = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        for (size_t j = i + 1; j < pictures.size(); ++j) {
            const Picture& a = pictures[i];
            const Picture& b = pictures[j];
            const bool planted = plantedPair(a.path, b.path);
            plantedPairs += planted;
            const bool filter = a.print.flat == b.print.flat && a.print.distance(b.print) <= ImageFingerprint::kMaxDistance;
            if (filter) (planted ? filterTrue : filterFalse)++;
            const bool similar = a.print.isSimilar(b.print);
            if (similar) (planted ? checkTrue : checkFalse)++;
            if (metrics && (filter || planted)) {
                std::printf("metric\t%s\t%s\t%s\thash %d bits apart\t%s\n",
                            QFileInfo(a.path).fileName().toUtf8().constData(),
                            QFileInfo(b.path).fileName().toUtf8().constData(), planted ? "planted" : "different",
                            a.print.distance(b.print), a.print.looksAlike(b.print) ? "alike" : "not alike");
            } else if (similar && !planted) {
                std::printf("false\t%s\t%s\n", QFileInfo(a.path).fileName().toUtf8().constData(),
                            QFileInfo(b.path).fileName().toUtf8().constData());
            } else if (planted && !similar) {
                std::printf("missed\t%s\t%s\n", QFileInfo(a.path).fileName().toUtf8().constData(),
                            QFileInfo(b.path).fileName().toUtf8().constData());
            }
        }
    }
    std::printf("pictures\t%zu decoded of %lld\n", pictures.size(), static_cast<long long>(paths.size()));
    std::printf("average hash alone\t%d of %d planted pairs\t%d pairs of different pictures\n", filterTrue,
                plantedPairs, filterFalse);
    std::printf("whole check\t%d of %d planted pairs\t%d pairs of different pictures\n", checkTrue, plantedPairs,
                checkFalse);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0) return make(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "--metrics") == 0) return look(QString::fromLocal8Bit(argv[2]), true);
    if (argc == 2) return look(QString::fromLocal8Bit(argv[1]), false);
    std::fprintf(stderr, "usage: similar_bench [--make] DIR\n");
    return 2;
}
