// Measures the LZFSE codec: compressed size and encode/decode throughput of
// every test vector and of any files named on the command line.
//
//   lzfse_bench [--fixtures DIR] [--write-dir DIR] [--runs N] [FILE...]
//
// Figures are warm (one untimed run first), the median of several timed runs,
// and every output is checked against its input. Throughput is always
// counted in uncompressed bytes (MB = 10^6 bytes).

#include "platform/Lzfse.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Input {
    std::string name;
    Bytes data;
    std::optional<Bytes> referenceStream;  // the test vector's own stream
};

std::optional<Bytes> readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

bool writeFile(const fs::path& path, const Bytes& data) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return bool(file);
}

// Runs `work` once untimed, then `runs` times at least and until about a
// quarter of a second has passed; returns the median seconds per run.
template <typename Work>
double medianSeconds(int runs, Work&& work) {
    using Clock = std::chrono::steady_clock;
    work();
    std::vector<double> times;
    const auto start = Clock::now();
    while (int(times.size()) < runs || (Clock::now() - start < std::chrono::milliseconds(250) && times.size() < 1000)) {
        const auto t0 = Clock::now();
        work();
        times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::vector<Input> loadFixtures(const fs::path& dir) {
    struct Vector {
        const char* name;
        size_t zeros;  // generated instead of read when non-zero
    };
    static const Vector kVectors[] = {{"tiny.json", 0},     {"activity-3k.json", 0}, {"tree.json", 0},
                                      {"text-225k.txt", 0}, {"random-64k.bin", 0},   {"zeros-3000000.bin", 3000000}};
    std::vector<Input> inputs;
    for (const Vector& v : kVectors) {
        Input input;
        input.name = v.name;
        if (v.zeros != 0) {
            input.data.assign(v.zeros, 0);
        } else if (auto data = readFile(dir / v.name)) {
            input.data = std::move(*data);
        } else {
            std::fprintf(stderr, "missing test vector %s\n", (dir / v.name).c_str());
            continue;
        }
        input.referenceStream = readFile(dir / (std::string(v.name) + ".lzfse"));
        inputs.push_back(std::move(input));
    }
    return inputs;
}

fs::path defaultFixtures() {
    if (const char* env = std::getenv("TARNWICK_TEST_DATA_DIR")) return fs::path(env) / "lzfse";
    // The test streams live in the source tree's tests/data folder.
    return fs::path(__FILE__).parent_path().parent_path() / "tests" / "data" / "lzfse";
}

}  // namespace

int main(int argc, char** argv) {
    fs::path fixtures = defaultFixtures();
    std::optional<fs::path> writeDir;
    int runs = 7;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--write-dir" || arg == "--fixtures" || arg == "--runs") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--write-dir") writeDir = value;
            else if (arg == "--fixtures") fixtures = value;
            else runs = std::max(1, std::atoi(value.c_str()));
        } else if (arg == "--help" || arg == "-h") {
            std::printf("usage: %s [--fixtures DIR] [--write-dir DIR] [--runs N] [FILE...]\n", argv[0]);
            return 0;
        } else {
            files.emplace_back(arg);
        }
    }

    std::vector<Input> inputs = loadFixtures(fixtures);
    for (const fs::path& file : files) {
        auto data = readFile(file);
        if (!data) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 2;
        }
        inputs.push_back({file.filename().string(), std::move(*data), std::nullopt});
    }
    if (writeDir) fs::create_directories(*writeDir);

    std::printf("%-22s %10s %10s %10s %7s %11s %11s %11s\n", "input", "bytes", "reference", "ours", "vs ref",
                "enc MB/s", "dec MB/s", "ref dec MB/s");
    bool allGood = true;
    for (const Input& input : inputs) {
        const uint8_t* data = input.data.data();
        const size_t size = input.data.size();
        const double mb = double(size) / 1e6;

        Bytes stream;
        const double encodeSeconds = medianSeconds(runs, [&] { stream = tarnwick::Lzfse::compress(data, size); });
        std::optional<Bytes> decoded;
        const double decodeSeconds = medianSeconds(
            runs, [&] { decoded = tarnwick::Lzfse::decompress(stream.data(), stream.size(), size); });
        bool good = decoded && *decoded == input.data;

        std::string reference = "-", versus = "-", referenceSpeed = "-";
        if (input.referenceStream) {
            const Bytes& ref = *input.referenceStream;
            std::optional<Bytes> refDecoded;
            const double refSeconds =
                medianSeconds(runs, [&] { refDecoded = tarnwick::Lzfse::decompress(ref.data(), ref.size(), size); });
            good = good && refDecoded && *refDecoded == input.data;
            reference = std::to_string(ref.size());
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%+.1f%%", 100.0 * (double(stream.size()) / double(ref.size()) - 1));
            versus = buffer;
            std::snprintf(buffer, sizeof buffer, "%.0f", mb / refSeconds);
            referenceSpeed = buffer;
        }
        std::printf("%-22s %10zu %10s %10zu %7s %11.0f %11.0f %11s%s\n", input.name.c_str(), size, reference.c_str(),
                    stream.size(), versus.c_str(), mb / encodeSeconds, mb / decodeSeconds, referenceSpeed.c_str(),
                    good ? "" : "  OUTPUT MISMATCH");
        allGood = allGood && good;
        if (writeDir && !writeFile(*writeDir / (input.name + ".lzfse"), stream)) {
            std::fprintf(stderr, "cannot write into %s\n", writeDir->c_str());
            return 2;
        }
    }
    return allGood ? 0 : 1;
}
