#pragma once

#include "models/FileRecord.h"
#include "models/ScanInsights.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// Gathers the insights of one walk: bytes and counts per kind of file, the
// largest files and the oldest large files. The walker offers it every file
// it measures; finalize() turns it into a ScanInsights.
//
// A file that enters neither list costs a kind lookup and two additions, with
// no allocation; the lists are bounded heaps, so a rejected file costs one
// comparison with the current worst record and an accepted one O(log cap).
class InsightsBuilder {
public:
    static constexpr int kMaxTypes = 40;

    // Ordinary settings of a builder; every builder the program makes uses these values.
    qint64 largestCap = 120;
    qint64 oldestCap = 120;
    qint64 largestMin = 2097152;       // 2 MiB
    qint64 oldestMinSize = 524288;     // 512 KiB
    double oldestMinAge = 7776000.0;   // 90 days, in seconds

    // Offers one file. Files below 1 byte are ignored; a missing date counts
    // as the distant past (so such a file is as old as can be).
    void consider(const QString& name, const QString& path, qint64 size, std::optional<QDateTime> modified);
    // The same for the walker: the name as UTF-8 bytes and its folder's path;
    // the name and full path are only turned into text when the file enters a list.
    void consider(std::string_view nameUtf8, const QString& folderPath, qint64 size,
                  std::optional<qint64> modifiedMSecsSinceEpoch);

    // The insights so far; the builder is left unchanged.
    ScanInsights finalize() const;

    qint64 fileCount() const { return fileCount_; }
    qint64 totalFileBytes() const { return totalFileBytes_; }

    // The kind of a file by its name: "images", "video", "audio", "archives",
    // "documents", "source", "apps" by the table of extensions, "other" without
    // an extension, else the lowercased extension itself.
    static QString normalizeExtension(const QString& name);

private:
    struct Entry {
        FileRecord record;
        qint64 key;      // size for the largest list, modification time (ms) for the oldest
        quint64 order;   // offer order, for ties
    };
    struct Kind {
        QString name;
        qint64 bytes = 0;
        qint64 count = 0;
    };
    struct StringHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    };

    // Counts the file under its kind, given by its lowercased UTF-8
    // extension, and returns the kind's slot in kinds_.
    int countKind(std::string_view lowerExtension, qint64 size);
    // Puts a counted file into the lists it qualifies for; makeText gives its
    // name and path and is only called when it enters at least one.
    template <typename MakeText>
    void place(int kindSlot, qint64 size, qint64 modifiedMs, MakeText makeText);

    std::vector<Entry> largest_;  // heap, worst record on top
    std::vector<Entry> oldest_;   // heap, worst record on top
    std::vector<Kind> kinds_;     // in order of first sight
    int knownSlots_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    std::unordered_map<std::string, int, StringHash, std::equal_to<>> otherSlots_;
    qint64 fileCount_ = 0;
    qint64 totalFileBytes_ = 0;
    quint64 offered_ = 0;
};

}  // namespace tarnwick
