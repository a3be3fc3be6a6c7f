// Times the junk and the clutter scans' duplicate searches against the
// duplicate finders users pick, on the same folders, and compares the groups.
//
//   duplicates_bench --make DIR [PAIRS [TWINS]]
//       fill DIR with PAIRS pairs of files (300 by default), one size a pair,
//       between 2 and 7 MB: TWINS of them (30 by default) copies, the others
//       alike but for their last byte; every file must be read whole
//   duplicates_bench DIR...
//       run the searches on the folders
//
// Runs the junk search, the clutter search, fdupes, jdupes and rmlint (each
// of the last three only when installed: scripts/deps --bench) on the
// folders with the same minimum size (2,000,000 bytes) and hidden files left
// out, one warm-up run each and then five runs each, interleaved, and prints
// each group the junk search finds as "group<TAB>kept<TAB>copy...", whether
// each search found the groups each tool found (a group of a search that
// lies within one of the tool's is left out by the search's bounds; one
// that does not is a false group), the median wall
// times, the files and bytes one junk search read, and the lines
// "tarnwick / jdupes<TAB>R" and "tarnwick / rmlint<TAB>R" (R: the junk
// search's median over the tool's). The searches cap their findings (75
// copies for the junk scan, 40 for the clutter scan) and read 12 and 10 files
// of one size: on folders within those bounds their groups are the tools'.
#include "models/CleanupItem.h"
#include "models/ClutterItem.h"
#include "platform/Environment.h"
#include "platform/FileReader.h"
#include "services/cleanup/ClutterSearches.h"
#include "services/cleanup/JunkContext.h"
#include "services/cleanup/JunkSearches.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

extern char** environ;

using namespace tarnwick;

namespace {

using Clock = std::chrono::steady_clock;
using Groups = std::vector<QStringList>;  // each sorted; the list sorted

constexpr qint64 kMinimum = 2000000;
constexpr int kRounds = 5;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

Groups normalized(Groups groups) {
    for (QStringList& group : groups) group.sort();
    std::sort(groups.begin(), groups.end(), [](const QStringList& a, const QStringList& b) { return a.first() < b.first(); });
    return groups;
}

// Groups from findings that each name the kept file: "Duplicate of PATH".
template <class Item>
Groups groupsOf(const QList<Item>& items, const std::function<QString(const Item&)>& pathOf,
                const std::function<QString(const Item&)>& detailOf) {
    QMap<QString, QStringList> byKept;
    for (const Item& item : items) {
        const QString kept = detailOf(item).mid(QStringLiteral("Duplicate of ").size());
        if (!byKept.contains(kept)) byKept[kept].append(kept);
        byKept[kept].append(pathOf(item));
    }
    return normalized(Groups(byKept.begin(), byKept.end()));
}

// Runs a program to its end, its output captured.
bool run(const std::vector<std::string>& arguments, std::string& output, double& seconds) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    output.clear();
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return false;
    }
    char buffer[65536];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        output.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    seconds = since(start);
    return WIFEXITED(status);
}

bool installed(const char* tool) {
    std::string output;
    double seconds = 0;
    return run({"sh", "-c", std::string("command -v ") + tool}, output, seconds) && !output.empty();
}

// Groups in the tools' common output: paths one a line, groups apart by a blank line.
Groups parseBlankSeparated(const std::string& text) {
    Groups groups;
    QStringList group;
    for (const QString& line : QString::fromLocal8Bit(text.data(), qsizetype(text.size())).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty()) {
            if (group.size() >= 2) groups.push_back(group);
            group.clear();
        } else {
            group.append(line);
        }
    }
    if (group.size() >= 2) groups.push_back(group);
    return normalized(groups);
}

struct Tool {
    std::string name;
    std::vector<std::string> command;
    std::vector<double> times;
    Groups groups;
};

void compare(const char* search, const char* name, const Groups& ours, const Groups& theirs) {
    if (ours == theirs) {
        std::printf("same groups\t%s\t%s\t%zu groups\n", search, name, ours.size());
        return;
    }
    const std::set<QStringList> a(ours.begin(), ours.end()), b(theirs.begin(), theirs.end());
    // A group of ours that lies within one of theirs is no false group: the
    // searches read only some files of a size and stop at their caps.
    QMap<QString, int> theirGroupOf;
    for (size_t i = 0; i < theirs.size(); ++i) {
        for (const QString& path : theirs[i]) theirGroupOf[path] = int(i);
    }
    int onlyOurs = 0, onlyTheirs = 0, falseGroups = 0;
    for (const QStringList& group : a) {
        if (!b.count(group)) {
            ++onlyOurs;
            const int first = theirGroupOf.value(group.first(), -1);
            const bool within = first >= 0 && std::all_of(group.begin(), group.end(), [&](const QString& path) {
                return theirGroupOf.value(path, -2) == first;
            });
            falseGroups += !within;
            std::printf("only the %s\tnot %s\t%s\t%s\n", search, name, within ? "part of one of its groups" : "FALSE GROUP",
                        group.join(QLatin1Char('\t')).toUtf8().constData());
        }
    }
    for (const QStringList& group : b) {
        if (!a.count(group)) {
            ++onlyTheirs;
            std::printf("only %s\tnot the %s\t%s\n", name, search, group.join(QLatin1Char('\t')).toUtf8().constData());
        }
    }
    std::printf("different groups\t%s\t%s\t%d only the search's (%d false), %d only %s's\n", search, name, onlyOurs,
                falseGroups, onlyTheirs, name);
}

int make(const QString& folder, int pairs, int twins) {
    QDir().mkpath(folder);
    std::mt19937_64 random(37);
    std::vector<char> data;
    long long bytes = 0;
    for (int pair = 0; pair < pairs; ++pair) {
        const qint64 size = kMinimum + 4096 * pair + static_cast<qint64>(random() % 4096) +
                            static_cast<qint64>(random() % 5000000);
        data.resize(static_cast<size_t>(size));
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            const quint64 word = random();
            std::memcpy(data.data() + i, &word, 8);
        }
        const bool twin = pair < twins;
        for (int copy = 0; copy < 2; ++copy) {
            if (copy == 1 && !twin) data.back() = static_cast<char>(data.back() ^ 0x5a);
            const QString path = QStringLiteral("%1/%2-%3-%4.bin")
                                     .arg(folder, twin ? QStringLiteral("twin") : QStringLiteral("near"))
                                     .arg(pair, 3, 10, QLatin1Char('0'))
                                     .arg(copy);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(data.data(), size) != size) return 1;
            bytes += size;
        }
    }
    std::printf("made\t%d pairs (%d copies, %d alike but for the last byte)\t%lld bytes\n", pairs, twins,
                pairs - twins, bytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--make") == 0) {
        return make(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 300,
                    argc > 4 ? std::atoi(argv[4]) : 30);
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: duplicates_bench --make DIR [PAIRS [TWINS]] | duplicates_bench DIR...\n");
        return 2;
    }
    QStringList folders;
    std::vector<std::string> folderArguments;
    for (int i = 1; i < argc; ++i) {
        folders.append(QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath());
        folderArguments.push_back(QFile::encodeName(folders.last()).toStdString());
    }
    // A home elsewhere, so that findings name the kept files by their whole paths.
    Environment environment = Environment::system();
    environment.homeDirectory = QStringLiteral("/nonexistent-home");
    Environment::setCurrent(environment);

    std::vector<Tool> tools;
    auto add = [&](const char* name, std::vector<std::string> command) {
        if (!installed(name)) {
            std::printf("note\t%s is not installed (scripts/deps --bench)\n", name);
            return;
        }
        command.insert(command.end(), folderArguments.begin(), folderArguments.end());
        tools.push_back(Tool{name, std::move(command), {}, {}});
    };
    add("fdupes", {"fdupes", "-r", "-q", "-A", "-G", std::to_string(kMinimum)});
    add("jdupes", {"jdupes", "-r", "-q", "-A", "-X", "size+=:" + std::to_string(kMinimum)});
    add("rmlint", {"rmlint", "-T", "duplicates", "-L", "-o", "fdupes:stdout", "--size", std::to_string(kMinimum)});

    std::vector<double> junkTimes, clutterTimes;
    Groups junkGroups, clutterGroups;
    quint64 filesOpened = 0, bytesRead = 0;
    for (int round = 0; round <= kRounds; ++round) {  // round 0 warms up
        {
            const JunkContext context(environment);
            const quint64 opened = FileReader::totalFilesOpened(), read = FileReader::totalBytesRead();
            const auto start = Clock::now();
            const auto findings = CleanupService::findDuplicates(folders, 25, context);
            const double seconds = since(start);
            filesOpened = FileReader::totalFilesOpened() - opened;
            bytesRead = FileReader::totalBytesRead() - read;
            if (round > 0) junkTimes.push_back(seconds);
            QList<CleanupItem> items;
            for (const JunkFinding& finding : findings) items.append(finding.item);
            junkGroups = groupsOf<CleanupItem>(items, [](const CleanupItem& i) { return i.path; },
                                               [](const CleanupItem& i) { return i.detail; });
        }
        {
            const JunkContext context(environment);
            const auto start = Clock::now();
            const QList<ClutterItem> items = ClutterService::duplicates(folders, context);
            if (round > 0) clutterTimes.push_back(since(start));
            clutterGroups = groupsOf<ClutterItem>(items, [](const ClutterItem& i) { return i.path; },
                                                  [](const ClutterItem& i) { return i.detail; });
        }
        for (Tool& tool : tools) {
            std::string output;
            double seconds = 0;
            if (!run(tool.command, output, seconds)) std::printf("note\t%s failed\n", tool.name.c_str());
            if (round > 0) tool.times.push_back(seconds);
            tool.groups = parseBlankSeparated(output);
        }
    }

    for (const QStringList& group : junkGroups) std::printf("group\t%s\n", group.join(QLatin1Char('\t')).toUtf8().constData());
    std::printf("clutter search\t%s groups as the junk search\n", clutterGroups == junkGroups ? "the same" : "other");
    for (const Tool& tool : tools) {
        compare("junk search", tool.name.c_str(), junkGroups, tool.groups);
        compare("clutter search", tool.name.c_str(), clutterGroups, tool.groups);
    }
    std::printf("read\t%llu files opened\t%llu bytes read (one junk search)\n",
                static_cast<unsigned long long>(filesOpened), static_cast<unsigned long long>(bytesRead));
    const double junk = median(junkTimes);
    std::printf("median\tjunk search\t%.3f s\n", junk);
    std::printf("median\tclutter search\t%.3f s\n", median(clutterTimes));
    for (const Tool& tool : tools) std::printf("median\t%s\t%.3f s\n", tool.name.c_str(), median(tool.times));
    for (const Tool& tool : tools) {
        if (tool.name != "fdupes") std::printf("tarnwick / %s\t%.2f\n", tool.name.c_str(), junk / median(tool.times));
    }
    return 0;
}
