// Makes a deterministic test tree for the walker benchmark: by default
// 12,000 folders, 200,000 files of 0 to 20,000 bytes, a few large files, a
// hard link and a link loop.
//
//   make_tree DIR [FILES FOLDERS MAX_FILE_SIZE]     (DIR must not exist yet)
//
// The 1,000,000-file tree of the benchmark: make_tree DIR 1000000 60000 4000
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

int kFolders = 12000;
int kFiles = 200000;
int kMaxFileSize = 20000;
constexpr int kLargeFiles = 8;

bool writeFile(const std::string& path, const std::vector<char>& data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        const size_t chunk = std::min(size - done, data.size());
        const ssize_t written = ::write(fd, data.data(), chunk);
        if (written <= 0) break;
        done += static_cast<size_t>(written);
    }
    ::close(fd);
    return done == size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: make_tree DIR [FILES FOLDERS MAX_FILE_SIZE]\n");
        return 2;
    }
    if (argc == 5) {
        kFiles = std::atoi(argv[2]);
        kFolders = std::atoi(argv[3]);
        kMaxFileSize = std::atoi(argv[4]);
        if (kFiles < 1 || kFolders < 1 || kMaxFileSize < 0) {
            std::fprintf(stderr, "make_tree: counts must be positive\n");
            return 2;
        }
    }
    const std::string root = argv[1];
    if (::mkdir(root.c_str(), 0755) != 0) {
        std::perror(root.c_str());
        return 1;
    }

    std::mt19937 random(20240601);
    std::vector<char> data(1 << 20);
    for (char& c : data) c = static_cast<char>('a' + random() % 26);

    // Folder i hangs below a random earlier folder, which gives a tree some
    // ten to twenty-five levels deep.
    std::vector<std::string> folders{root};
    folders.reserve(kFolders + 1);
    for (int i = 0; i < kFolders; ++i) {
        const size_t parent = random() % folders.size();
        std::string path = folders[parent] + "/dir" + std::to_string(i);
        if (::mkdir(path.c_str(), 0755) != 0) {
            std::perror(path.c_str());
            return 1;
        }
        folders.push_back(std::move(path));
    }

    std::uniform_int_distribution<int> sizes(0, kMaxFileSize);
    long long logical = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string& folder = folders[random() % folders.size()];
        const int size = sizes(random);
        static const char* extensions[] = {".txt", ".jpg", ".c", ".bin", ".json", ""};
        const std::string path = folder + "/file" + std::to_string(i) + extensions[random() % 6];
        if (!writeFile(path, data, static_cast<size_t>(size))) {
            std::perror(path.c_str());
            return 1;
        }
        logical += size;
    }

    // A few large files of 1 to 8 MB, one of them with a second name.
    std::string firstLarge;
    for (int i = 0; i < kLargeFiles; ++i) {
        const std::string path = folders[random() % folders.size()] + "/large" + std::to_string(i) + ".mov";
        const size_t size = (1 + random() % 8) * 1000000 + random() % 1000;
        if (!writeFile(path, data, size)) {
            std::perror(path.c_str());
            return 1;
        }
        logical += static_cast<long long>(size);
        if (firstLarge.empty()) firstLarge = path;
    }
    const std::string hardLink = folders[folders.size() / 2] + "/large0-again.mov";
    if (::link(firstLarge.c_str(), hardLink.c_str()) != 0) std::perror("link");

    // A link from deep inside the tree back up to the root.
    const std::string loop = folders.back() + "/back-to-root";
    if (::symlink(root.c_str(), loop.c_str()) != 0) std::perror("symlink");

    std::printf("%s: %d folders, %d files (+%d large, 1 hard link, 1 link loop), %lld bytes of data\n",
                root.c_str(), kFolders, kFiles, kLargeFiles, logical);
    return 0;
}
