// The generated home of the junk benchmark: a macOS layout and this
// platform's folders with junk of every category, 200,000 files in all
// (sparse where the size alone matters), among them a browser cache of
// 30,000 entries written three days ago. Shared by the benchmarks that scan it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <utility>

namespace junkhome {

inline constexpr long long MB = 1000000;
inline constexpr int kTotalFiles = 200000;
inline constexpr int kBrowserCacheFiles = 30000;

class Generator {
public:
    Generator(std::string base) : base_(std::move(base)) {}

    int files() const { return files_; }
    long long duplicateBytes() const { return duplicateBytes_; }

    void dir(const std::string& path) {
        std::string partial;
        for (size_t at = 0; at != std::string::npos;) {
            at = path.find('/', at + 1);
            partial = path.substr(0, at);
            ::mkdir(partial.c_str(), 0755);
        }
    }

    // A file of size bytes: sparse (no blocks), or with its blocks reserved,
    // or written with fill and a last byte tail.
    enum class Kind { sparse, allocated, written };
    void file(const std::string& path, long long size, Kind kind = Kind::sparse, char fill = 'a', char tail = 0) {
        dir(path.substr(0, path.rfind('/')));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            return;
        }
        ++files_;
        if (kind == Kind::written) {
            const std::string chunk(1 << 20, fill);
            long long done = 0;
            while (done < size) {
                const long long n = std::min<long long>(size - done, static_cast<long long>(chunk.size()));
                if (::write(fd, chunk.data(), static_cast<size_t>(n)) != n) break;
                done += n;
            }
            if (tail != 0 && ::pwrite(fd, &tail, 1, size - 1) != 1) std::perror("pwrite");
        } else if (kind == Kind::allocated) {
            if (::posix_fallocate(fd, 0, size) != 0 && ::ftruncate(fd, size) != 0) std::perror("ftruncate");
        } else if (size > 0 && ::ftruncate(fd, size) != 0) {
            std::perror("ftruncate");
        }
        ::close(fd);
    }

    // A browser's disk cache: count written files of a few KB in one folder,
    // the files and the folders above them (up to below) seconds old.
    void browserCache(const std::string& below, const std::string& entries, int count, long long seconds) {
        for (int i = 0; i < count; ++i) {
            char name[24];
            std::snprintf(name, sizeof name, "%016X", static_cast<unsigned>(i) * 2654435761u);
            const std::string path = entries + "/" + name;
            file(path, 2048 + static_cast<long long>(random_() % 4096), Kind::written, 'c');
            age(path, seconds);
        }
        for (std::string folder = entries; folder.size() > below.size(); folder = folder.substr(0, folder.rfind('/'))) {
            age(folder, seconds);
        }
    }

    void age(const std::string& path, long long seconds) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - seconds;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

    // count small files spread over folders below root, sizes 0..20 KB.
    void smallFiles(const std::string& root, int count, int perFolder = 200) {
        for (int i = 0; i < count; ++i) {
            const std::string folder = root + "/d" + std::to_string(i / perFolder % 37) + "/s" + std::to_string(i / perFolder);
            file(folder + "/f" + std::to_string(i), static_cast<long long>(random_() % 20000));
        }
    }

    void duplicates(const std::string& downloads, const std::string& documents) {
        // Triples of one content in both folders.
        for (int g = 0; g < 10; ++g) {
            const long long size = 3 * MB + g * 4096;
            const char fill = static_cast<char>('A' + g);
            file(downloads + "/copy" + std::to_string(g) + ".bin", size, Kind::written, fill);
            file(documents + "/copies/copy" + std::to_string(g) + "-a.bin", size, Kind::written, fill);
            file(documents + "/copies/copy" + std::to_string(g) + "-b.bin", size, Kind::written, fill);
            duplicateBytes_ += 3 * size;
        }
        // Pairs equal in their first 256 KiB and different later.
        for (int g = 0; g < 10; ++g) {
            const long long size = 4 * MB + g * 4096;
            file(downloads + "/alike" + std::to_string(g) + "-1.bin", size, Kind::written, 'p', '1');
            file(documents + "/alike" + std::to_string(g) + "-2.bin", size, Kind::written, 'p', '2');
            duplicateBytes_ += 2 * size;
        }
        // Hard-linked copies: one file under two names.
        for (int g = 0; g < 10; ++g) {
            const std::string original = downloads + "/linked" + std::to_string(g) + ".bin";
            file(original, 5 * MB + g * 4096, Kind::written, 'l');
            const std::string link = documents + "/linked" + std::to_string(g) + "-too.bin";
            if (::link(original.c_str(), link.c_str()) == 0) ++files_;
        }
    }

private:
    std::string base_;
    std::mt19937 random_{20250304};
    int files_ = 0;
    long long duplicateBytes_ = 0;
};

inline void generate(const std::string& home, const std::string& root, const std::string& temp, Generator& g) {
    const long long day = 86400;
    // Fixed places of both layouts.
    g.smallFiles(root + "/Library/Caches", 5000);
    g.smallFiles(root + "/private/var/log", 2000);
    g.smallFiles(root + "/private/var/folders", 10000);
    g.smallFiles(temp, 5000);
    g.smallFiles(home + "/Library/Logs", 10000);
    g.smallFiles(home + "/Library/Caches", 15000, 500);  // macOS cache folder: leftovers root only
    g.smallFiles(home + "/Library/Application Support/MobileSync/Backup", 1000);
    g.smallFiles(home + "/Pictures/Photos Library.photoslibrary/resources/caches", 1000);
    g.smallFiles(home + "/Pictures/Photos Library.photoslibrary/resources/repair", 1000);
    g.smallFiles(home + "/Library/Containers/com.apple.Photos/Data/Library/Caches", 1000);
    g.smallFiles(home + "/Library/Containers/com.apple.mail/Data/Library/Mail Downloads", 500);
    g.smallFiles(home + "/Library/Mail Downloads", 500);
    g.smallFiles(home + "/Library/Developer/Xcode/DerivedData", 20000);
    g.smallFiles(home + "/Library/Developer/Xcode/iOS DeviceSupport", 2000);
    g.smallFiles(home + "/Library/Developer/CoreSimulator/Caches", 3000);
    g.file(home + "/Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw", 64000 * MB);
    g.file(home + "/.docker/desktop/vms/0/data/Docker.raw", 20 * MB, Generator::Kind::allocated);
    g.smallFiles(home + "/.docker/desktop/log", 100);
    for (int i = 0; i < 50; ++i) g.file(home + "/.ollama/models/blobs/sha256-" + std::to_string(i), 100 * MB);
    for (int i = 0; i < 200; ++i) g.file(home + "/.cache/huggingface/hub/m" + std::to_string(i % 10) + "/blob" + std::to_string(i), 3 * MB);
    for (int i = 0; i < 20; ++i) g.file(home + "/.lmstudio/models/m" + std::to_string(i) + ".gguf", 400 * MB);

    // Applications with language bundles.
    for (int a = 0; a < 10; ++a) {
        const std::string resources = root + "/Applications/App" + std::to_string(a) + ".app/Contents/Resources/";
        for (const char* language : {"fr", "de", "ja", "Base", "en", "en_GB", "es", "it"}) {
            g.file(resources + language + ".lproj/Localizable.strings", 2 * MB);
        }
        g.smallFiles(resources + "icons", 30);
    }
    // Support folders, some of apps that are gone.
    for (int s = 0; s < 40; ++s) {
        const std::string folder = home + "/Library/Application Support/com.vendor.tool" + std::to_string(s);
        g.smallFiles(folder, 20);
        if (s % 2 == 0) g.file(folder + "/state.db", 25 * MB);
    }
    for (int a = 0; a < 10; a += 2) ::mkdir((root + "/Applications/Tool" + std::to_string(a * 2) + ".app").c_str(), 0755);

    // node_modules trees in projects, each with nested node_modules.
    auto project = [&](const std::string& path, int packages) {
        for (int p = 0; p < packages; ++p) {
            const std::string package = path + "/node_modules/pkg" + std::to_string(p);
            g.file(package + "/index.js", 120000);
            g.file(package + "/package.json", 800);
            g.smallFiles(package + "/lib", 6, 6);
            g.file(package + "/node_modules/dep/index.js", 50000);
        }
    };
    for (int p = 0; p < 30; ++p) project(home + "/Projects/site" + std::to_string(p), 110);
    for (int p = 0; p < 5; ++p) project(home + "/Developer/api" + std::to_string(p), 110);
    for (int p = 0; p < 5; ++p) project(home + "/Documents/work" + std::to_string(p), 110);

    // Downloads: old and new installers, incomplete downloads.
    const std::string downloads = home + "/Downloads";
    const char* kinds[] = {"dmg", "pkg", "zip", "iso", "tar.gz", "7z", "deb", "rpm", "AppImage", "xz"};
    for (int i = 0; i < 40; ++i) {
        const std::string path = downloads + "/installer" + std::to_string(i) + "." + kinds[i % 10];
        g.file(path, 6 * MB + i * 4096, Generator::Kind::allocated);
        g.age(path, (i < 30 ? 40 : 10) * day);
    }
    const char* partial[] = {"part", "crdownload", "download", "partial", "tmp"};
    for (int i = 0; i < 30; ++i) {
        const std::string path = downloads + "/movie" + std::to_string(i) + ".mkv." + partial[i % 5];
        g.file(path, 50 * MB + i * 4096);
        g.age(path, i < 15 ? 2 * 3600 : 60);
    }
    g.duplicates(downloads, home + "/Documents");

    // A browser cache past the measure's entry ceiling, three days old.
    g.browserCache(home + "/.cache", home + "/.cache/mozilla/firefox/k3v9x2la.default-release/cache2/entries",
                   kBrowserCacheFiles, 3 * day);

    // Fill up to the total with cache entries.
    g.smallFiles(home + "/.cache/thumbnails", kTotalFiles - g.files(), 400);
}

}  // namespace junkhome
