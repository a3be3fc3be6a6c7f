#pragma once

// What the finder benchmarks measure of one scan: the time of each stage
// (from one progress label to the next), the total, and the files opened and
// bytes read meanwhile; and the process's peak memory.

#include "platform/FileReader.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <vector>

namespace tarnwick::bench {

template <class Item>
struct FinderRun {
    using Clock = std::chrono::steady_clock;
    using Progress = std::function<void(const QString& label)>;

    QStringList labels;
    std::vector<double> seconds;  // one per label
    double total = 0;
    QList<Item> items;
    quint64 filesOpened = 0;
    quint64 bytesRead = 0;

    // Runs scan(progress) once and times it.
    static FinderRun measure(const std::function<QList<Item>(const Progress& progress)>& scan) {
        FinderRun run;
        std::vector<Clock::time_point> marks;
        const quint64 opened = FileReader::totalFilesOpened();
        const quint64 read = FileReader::totalBytesRead();
        const auto start = Clock::now();
        run.items = scan([&](const QString& label) {
            marks.push_back(Clock::now());
            run.labels.append(label);
        });
        const auto end = Clock::now();
        marks.push_back(end);
        for (size_t i = 0; i + 1 < marks.size(); ++i) {
            run.seconds.push_back(std::chrono::duration<double>(marks[i + 1] - marks[i]).count());
        }
        run.total = std::chrono::duration<double>(end - start).count();
        run.filesOpened = FileReader::totalFilesOpened() - opened;
        run.bytesRead = FileReader::totalBytesRead() - read;
        return run;
    }
};

inline long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace tarnwick::bench
