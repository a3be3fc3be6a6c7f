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
//
// Ties are decided by where a file stands in the walk, not by when it was
// offered: files of equal size (or equal date) stand in walk order, that is
// by their entry indices from the walked root down. Builders filled on
// several threads and merged therefore give the lists one builder given the
// same files in walk order would give. Kinds of equal byte total stand in
// the order of their names. All byte totals saturate at the 64-bit range.
class InsightsBuilder {
public:
    static constexpr int kMaxTypes = 40;

    // A file's place in a walk: its entry index in each folder from the
    // walked root down, then its own index among its folder's entries.
    using WalkPosition = std::vector<quint64>;

    // Where a walker found a file; asked only when the file enters a list.
    class FileOrigin {
    public:
        // The path of the folder holding the file.
        virtual QString folderPath() const = 0;
        virtual WalkPosition walkPosition() const = 0;

    protected:
        ~FileOrigin() = default;
    };

    // Ordinary settings of a builder; every builder the program makes uses these values.
    qint64 largestCap = 120;
    qint64 oldestCap = 120;
    qint64 largestMin = 2097152;       // 2 MiB
    qint64 oldestMinSize = 524288;     // 512 KiB
    double oldestMinAge = 7776000.0;   // 90 days, in seconds
    // The moment ages are measured against, in ms since the epoch; unset:
    // the clock, read at each qualifying file. Walkers set it once per scan.
    std::optional<qint64> nowMSecs;

    // Offers one file. Files below 1 byte are ignored; a missing date counts
    // as the distant past (so such a file is as old as can be). The file's
    // walk position is the number of files offered before it.
    void consider(const QString& name, const QString& path, qint64 size, std::optional<QDateTime> modified);
    // The same with the name as the file system's bytes and its folder's path;
    // the name and full path are only turned into text when the file enters a list.
    void consider(std::string_view nameBytes, const QString& folderPath, qint64 size,
                  std::optional<qint64> modifiedMSecsSinceEpoch);
    // The same for the walkers: the folder's path and the walk position are
    // asked of origin only when the file enters a list (or ties with the
    // record standing last of a full one).
    void consider(std::string_view nameBytes, qint64 size, std::optional<qint64> modifiedMSecsSinceEpoch,
                  const FileOrigin& origin);

    // Adds what another builder gathered (of other files of the same walk).
    void merge(const InsightsBuilder& other);

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
        qint64 key;             // size for the largest list, modification time (ms) for the oldest
        WalkPosition position;  // for ties
    };
    struct Kind {
        QString name;
        int known = -1;   // the kind's index among the named kinds, or -1
        std::string key;  // else its lowercased extension as bytes
        qint64 bytes = 0;
        qint64 count = 0;
    };
    struct StringHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    };

    // The kind's slot in kinds_, given its lowercased extension as bytes.
    int slotOf(std::string_view lowerExtension);
    int slotOf(const Kind& kind);
    // Counts the file under its kind (its name as bytes) and returns the kind's slot.
    int countKind(std::string_view nameBytes, qint64 size);
    // Puts a counted file into the lists it qualifies for; makeText gives its
    // name and path and is only called when it enters at least one,
    // makePosition its walk position when needed.
    template <typename MakeText, typename MakePosition>
    void place(int kindSlot, qint64 size, qint64 modifiedMs, MakeText makeText, MakePosition makePosition);
    void admit(const FileRecord& record, const WalkPosition& position, qint64 modifiedMs, bool toLargest,
               bool toOldest);

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
