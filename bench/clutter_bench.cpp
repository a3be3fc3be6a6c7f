// Runs the clutter scan on a generated home folder, or on a given one.
//
//   clutter_bench               generate a home (120 JPEG and PNG pictures,
//                               some of them re-encoded or resized copies of
//                               others, and 20,000 files with duplicates among
//                               them) and scan it
//   clutter_bench --home DIR    scan DIR as the home folder
//
// Prints each search's label and time, then every item on a line of
// tab-separated fields (kind, size in bytes, absolute path, detail), then the
// total, the files the scan opened and the bytes it read, and the peak
// memory. The scan runs twice (the first run warms the caches); the figures
// are those of the second run. Last, the similar-image search runs alone (its
// items before the list's budget, and how many pair pictures that are not
// copies of one another, told by the generated names), and its files are
// hashed once more, on the thread pool and then one by one, to show what
// decoding them in parallel gains.
#include "FinderRun.h"
#include "models/ClutterItem.h"
#include "platform/Environment.h"
#include "platform/FolderWalk.h"
#include "platform/Locations.h"
#include "support/PathRules.h"
#include "services/cleanup/ClutterSearches.h"
#include "services/cleanup/ClutterService.h"
#include "services/cleanup/ImageFingerprint.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace tarnwick;
using tarnwick::bench::peakMiB;

namespace {

using Clock = std::chrono::steady_clock;

constexpr long long MB = 1000000;
constexpr long long kDay = 86400;
constexpr int kSmallFiles = 20000;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A made-up photo: a background, shapes placed by the seed, fine noise.
QImage picture(unsigned seed, QSize size) {
    std::mt19937 random(seed);
    auto colour = [&] { return QColor(int(random() % 256), int(random() % 256), int(random() % 256)); };
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour());
    {
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < 9; ++i) {
            painter.setBrush(colour());
            const int w = size.width() / 6 + int(random() % unsigned(size.width() / 2));
            const int h = size.height() / 6 + int(random() % unsigned(size.height() / 2));
            const QRect shape(int(random() % unsigned(size.width())) - w / 3,
                              int(random() % unsigned(size.height())) - h / 3, w, h);
            if (i % 2 == 0) {
                painter.drawEllipse(shape);
            } else {
                painter.drawRect(shape);
            }
        }
    }
    std::mt19937 grain(seed * 7919u + 1u);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            auto shift = [&] { return int(grain() % 41) - 20; };
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + shift(), 255), qBound(0, qGreen(p) + shift(), 255),
                           qBound(0, qBlue(p) + shift(), 255));
        }
    }
    return image;
}

class Generator {
public:
    int files() const { return files_; }

    void dir(const std::string& path) { QDir().mkpath(QString::fromStdString(path)); }

    // A file of size bytes: sparse (no blocks), or written with fill.
    void file(const std::string& path, long long size, bool written = false, char fill = 'a') {
        dir(path.substr(0, path.rfind('/')));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            return;
        }
        ++files_;
        if (written) {
            const std::string chunk(1 << 20, fill);
            long long done = 0;
            while (done < size) {
                const long long n = std::min<long long>(size - done, static_cast<long long>(chunk.size()));
                if (::write(fd, chunk.data(), static_cast<size_t>(n)) != n) break;
                done += n;
            }
        } else if (size > 0 && ::ftruncate(fd, size) != 0) {
            std::perror("ftruncate");
        }
        ::close(fd);
    }

    void age(const std::string& path, long long seconds) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - seconds;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

    void save(const QImage& image, const std::string& path, const char* format, int quality) {
        dir(path.substr(0, path.rfind('/')));
        if (image.save(QString::fromStdString(path), format, quality)) {
            ++files_;
        } else {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
        }
    }

private:
    int files_ = 0;
};

// 120 pictures: 60 originals (half JPEG, half PNG), 30 re-encoded copies and
// 30 resized ones, spread over Pictures, Desktop and Downloads.
void pictures(const std::string& home, Generator& g) {
    const std::string folders[] = {home + "/Pictures/Camera Roll", home + "/Pictures/Trips", home + "/Desktop",
                                   home + "/Downloads"};
    for (int i = 0; i < 60; ++i) {
        const QImage original = picture(unsigned(1000 + i), i % 2 == 0 ? QSize(1600, 1200) : QSize(900, 675));
        const std::string folder = folders[i % 4];
        const std::string name = "IMG_" + std::to_string(4000 + i);
        if (i % 2 == 0) {
            g.save(original, folder + "/" + name + ".jpg", "JPEG", 95);
        } else {
            g.save(original, folder + "/" + name + ".png", "PNG", -1);
        }
        if (i < 30) {
            // Re-encoded: the JPEGs as PNG, the PNGs as JPEG, elsewhere.
            const std::string copy = folders[(i + 1) % 4] + "/" + name + (i % 2 == 0 ? " (export).png" : " (export).jpg");
            g.save(original, copy, i % 2 == 0 ? "PNG" : "JPEG", i % 2 == 0 ? -1 : 90);
        } else {
            const QImage smaller = original.scaled(original.size() * 4 / 5, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            g.save(smaller, folders[(i + 2) % 4] + "/" + name + " (small).jpg", "JPEG", 97);
        }
    }
}

void generate(const std::string& home, Generator& g) {
    // 20,000 small files in Documents, Desktop and Downloads.
    std::mt19937 random(20250305);
    const std::string roots[] = {home + "/Documents", home + "/Desktop", home + "/Downloads"};
    for (int i = 0; i < kSmallFiles; ++i) {
        const std::string folder = roots[i % 3] + "/project" + std::to_string(i / 400 % 17) + "/part" + std::to_string(i / 100);
        g.file(folder + "/f" + std::to_string(i) + ".txt", static_cast<long long>(random() % 40000));
    }
    // Duplicate sets among them: triples of one content, pairs alike only in
    // their first 256 KiB, and files of one size and different content.
    for (int s = 0; s < 12; ++s) {
        const long long size = 2 * MB + s * 65536;
        const char fill = static_cast<char>('A' + s);
        for (int c = 0; c < 3; ++c) g.file(roots[c] + "/copies/set" + std::to_string(s) + "-" + std::to_string(c) + ".bin", size, true, fill);
    }
    for (int s = 0; s < 6; ++s) {
        const long long size = 3 * MB + s * 65536;
        for (int c = 0; c < 2; ++c) {
            const std::string path = roots[c] + "/alike/alike" + std::to_string(s) + "-" + std::to_string(c) + ".bin";
            g.file(path, size, true, 'p');
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
            const char tail = static_cast<char>('0' + c);
            if (fd >= 0) {
                if (::pwrite(fd, &tail, 1, size - 1) != 1) std::perror("pwrite");
                ::close(fd);
            }
        }
    }
    for (int s = 0; s < 6; ++s) {
        for (int c = 0; c < 3; ++c) {
            g.file(roots[c] + "/unlike/unlike" + std::to_string(s) + "-" + std::to_string(c) + ".bin", 4 * MB, true,
                   static_cast<char>('a' + c + 3 * s));
        }
    }
    pictures(home, g);

    // The other kinds: the trash, old installers, screenshots, Mail, large old files.
    for (int i = 0; i < 15; ++i) g.file(home + "/.local/share/Trash/files/trashed" + std::to_string(i) + "/data", (1 + i) * MB);
    for (int i = 0; i < 10; ++i) {
        const std::string path = home + "/Downloads/installer" + std::to_string(i) + (i % 2 ? ".zip" : ".iso");
        g.file(path, 5 * MB + i * 4096, true, 'i');
        g.age(path, (i < 7 ? 45 : 5) * kDay);
    }
    for (int i = 0; i < 12; ++i) {
        const std::string path = home + "/Pictures/Screenshots/Screenshot from 2024-01-" + std::to_string(10 + i) + ".png";
        g.file(path, 400000 + i * 1000);
        g.age(path, (i < 9 ? 30 : 3) * kDay);
    }
    g.file(home + "/Library/Containers/com.apple.mail/Data/Library/Mail Downloads/msg/attachment.pdf", 40 * MB);
    for (int i = 0; i < 8; ++i) {
        const std::string path = home + "/Videos/rushes/take" + std::to_string(i) + ".mkv";
        g.file(path, 700 * MB + i * MB);
        g.age(path, (i < 6 ? 400 : 20) * kDay);
    }
}

using Run = bench::FinderRun<ClutterItem>;

Run runScan() {
    return Run::measure([](const Run::Progress& progress) { return ClutterService::scan(progress); });
}

const QStringList& pictureFolders() {
    static const QStringList folders = [] {
        const Locations places(Environment::current());
        return QStringList{places.path(Locations::Place::pictures), places.path(Locations::Place::desktop),
                           places.path(Locations::Place::downloads)};
    }();
    return folders;
}

// The files the similar-image search looks at (first 4,000 entries of each
// folder, the size and name rules), pictures or not.
QStringList picturePaths() {
    QStringList paths;
    for (const QString& folder : pictureFolders()) {
        int looked = 0;
        FolderWalk::run(folder, FolderWalk::Options{}, [&](const FileEntry& entry, int) {
            if (looked++ >= 4000) return FolderWalk::Step::stop;
            const QString extension = PathRules::pathExtension(entry.name).toLower();
            const bool picture = extension == "jpg" || extension == "jpeg" || extension == "png" || extension == "webp";
            if (picture && entry.isRegularFile() && entry.logicalSize > 120000 && entry.logicalSize < 12000000) {
                paths.append(entry.path);
            }
            return FolderWalk::Step::proceed;
        });
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Environment environment = Environment::system();
    QTemporaryDir scratch;
    if (argc == 3 && std::string(argv[1]) == "--home") {
        environment.homeDirectory = QString::fromLocal8Bit(argv[2]);
        environment.variables.clear();  // the folders of that home, not of this session
    } else if (argc == 1) {
        if (!scratch.isValid()) {
            std::fprintf(stderr, "cannot make a scratch folder\n");
            return 1;
        }
        const std::string home = scratch.path().toStdString() + "/home/user";
        Generator generator;
        const auto start = Clock::now();
        generate(home, generator);
        std::printf("generated\t%d files\t%.2f s\n", generator.files(), since(start));
        environment.homeDirectory = QString::fromStdString(home);
        environment.variables.clear();
        // Movies are this platform's Videos folder.
        QDir().mkpath(QString::fromStdString(home + "/.config"));
        QFile dirs(QString::fromStdString(home + "/.config/user-dirs.dirs"));
        if (dirs.open(QIODevice::WriteOnly)) dirs.write("XDG_VIDEOS_DIR=\"$HOME/Videos\"\n");
    } else {
        std::fprintf(stderr, "usage: clutter_bench [--home DIR]\n");
        return 2;
    }
    Environment::setCurrent(environment);

    const Run warm = runScan();
    const Run run = runScan();
    for (qsizetype i = 0; i < run.labels.size(); ++i) {
        std::printf("search\t%lld\t%s\t%.3f s\n", static_cast<long long>(i + 1), run.labels[i].toUtf8().constData(),
                    run.seconds[static_cast<size_t>(i)]);
    }
    qint64 bytes = 0;
    for (const ClutterItem& item : run.items) {
        bytes += item.size;
        std::printf("%s\t%lld\t%s\t%s\n", rawValue(item.kind).toUtf8().constData(), static_cast<long long>(item.size),
                    item.path.toUtf8().constData(), item.detail.toUtf8().constData());
    }
    std::printf("total\t%lld items\t%lld bytes\t%.3f s (first run %.3f s)\n", static_cast<long long>(run.items.size()),
                static_cast<long long>(bytes), run.total, warm.total);
    std::printf("reads\t%llu files opened\t%llu bytes read\n", static_cast<unsigned long long>(run.filesOpened),
                static_cast<unsigned long long>(run.bytesRead));

    // The similar-image search alone, before the list's budget: a copy is
    // named after its original, so a pair of other names is a wrong match.
    const QList<ClutterItem> similar = ClutterService::similarImages(pictureFolders(), JunkContext());
    int wrong = 0;
    for (const ClutterItem& item : similar) {
        const QString number = item.title.left(8);
        if (!number.startsWith(QStringLiteral("IMG_")) || !item.detail.contains(QLatin1Char('/') + number)) ++wrong;
    }
    std::printf("similar\t%lld items before the budget\t%d not of one picture\n", static_cast<long long>(similar.size()),
                wrong);

    const QStringList paths = picturePaths();
    auto start = Clock::now();
    const auto parallel = ImageFingerprint::ofFiles(paths, 12000000);
    const double together = since(start);
    start = Clock::now();
    int decoded = 0;
    for (const QString& path : paths) decoded += ImageFingerprint::ofFile(path, 12000000) ? 1 : 0;
    const double oneByOne = since(start);
    std::printf("pictures\t%lld hashed (%d decode)\ton the pool %.3f s\tone by one %.3f s\t(%d threads)\n",
                static_cast<long long>(paths.size()), decoded, together, oneByOne, QThread::idealThreadCount());
    std::printf("peak\t%ld MiB\n", peakMiB());
    return parallel.size() == size_t(paths.size()) ? 0 : 1;
}
