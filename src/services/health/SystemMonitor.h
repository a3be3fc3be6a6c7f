#pragma once

#include "models/ProcessIdentity.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

class QTimer;

namespace tarnwick {

class BatterySource;
class DiskSource;
class MemorySource;
class ProcessSource;
class ProcessorSource;
class UptimeSource;
struct MonitorSources;

// The live readings behind the tray panel. While it runs it reads the
// processor and memory every 5 seconds, the start-up volume, the battery and
// the uptime on the first refresh and then on every second one (every 10
// seconds), and, while process sampling is on, the heaviest processes every
// 8 seconds. From the readings it makes a health score with a label and a
// tint (or shows the score the last care pass stored), and one
// recommendation. It writes nothing.
//
// Lives on the UI thread. The volume and the battery are read on a worker
// thread (a file system or a battery driver may be slow to answer) and the
// process lister runs on worker threads; their results come back to this
// thread. A process sample that arrives after sampling was switched off, or
// after a newer sample was started, is dropped.
//
// Every published field notifies through changed(Field) after it changed,
// and only then.
class SystemMonitor : public QObject {
    Q_OBJECT

public:
    // One of the heaviest processes.
    struct Proc {
        qint32 pid = 0;
        QString name{};  // the command name as the lister prints it
        QString cpu{};   // the processor share as the lister prints it, without "%"
        ProcessIdentity identity{};  // read when it was listed, so that a quit can tell a reused pid
        bool canQuit = false;        // one of the user's own (never pid 1 or this program)

        bool operator==(const Proc&) const = default;
    };

    // The theme colour the health label is drawn in.
    enum class Tint { textSecondary, accentTeal, accent, warning, danger };
    Q_ENUM(Tint)

    // The published fields, in their documented order.
    enum class Field {
        topProcesses,
        cpuPercent,
        memoryPercent,
        memoryAvailableFormatted,
        diskFreeFormatted,
        diskUsedFormatted,
        diskUsedFraction,
        healthScoreText,
        healthLabel,
        healthDetail,
        healthTint,
        protectionStatus,
        batteryPercentText,
        batteryStatus,
        batteryDetail,
        uptimeShort,
        recommendationTitle,
        recommendationDetail,
    };
    Q_ENUM(Field)

    static constexpr int lightIntervalMs = 5000;
    static constexpr int processIntervalMs = 8000;
    static constexpr qsizetype topProcessLimit = 5;
    // The settings key of the score the last care pass stored.
    static QString healthScoreKey() { return QStringLiteral("tarnwick.menu.healthScore"); }

    // Reads this machine (MonitorSources::system()). Samples nothing until start().
    explicit SystemMonitor(QObject* parent = nullptr);
    SystemMonitor(const MonitorSources& sources, QObject* parent = nullptr);
    // Stops sampling and waits for the worker threads.
    ~SystemMonitor() override;

    // Begins sampling (restarting it when running): one refresh at once, then
    // every 5 seconds; with processDetail also a process sample at once and
    // every 8 seconds.
    void start(bool processDetail);
    // Ends all sampling; the readings stay as they are.
    void stop();
    // Switches process sampling while the monitor runs.
    void setProcessSamplingEnabled(bool enabled);
    // Takes one refresh now.
    void refreshLight();
    // Starts one process sample now, replacing the one under way.
    void refreshProcessesAsync();

    // ---- Published fields ----
    const QList<Proc>& topProcesses() const { return topProcesses_; }
    // Busy share of all processors since the refresh before; nothing until
    // two readings made a difference.
    std::optional<double> cpuPercent() const { return cpuPercent_; }
    // Share of memory in use; nothing until it was read.
    std::optional<double> memoryPercent() const { return memoryPercent_; }
    const QString& memoryAvailableFormatted() const { return memoryAvailableFormatted_; }
    const QString& diskFreeFormatted() const { return diskFreeFormatted_; }
    const QString& diskUsedFormatted() const { return diskUsedFormatted_; }
    double diskUsedFraction() const { return diskUsedFraction_; }
    const QString& healthScoreText() const { return healthScoreText_; }
    const QString& healthLabel() const { return healthLabel_; }
    const QString& healthDetail() const { return healthDetail_; }
    Tint healthTint() const { return healthTint_; }
    const QString& protectionStatus() const { return protectionStatus_; }
    const QString& batteryPercentText() const { return batteryPercentText_; }
    const QString& batteryStatus() const { return batteryStatus_; }
    const QString& batteryDetail() const { return batteryDetail_; }
    const QString& uptimeShort() const { return uptimeShort_; }
    const QString& recommendationTitle() const { return recommendationTitle_; }
    const QString& recommendationDetail() const { return recommendationDetail_; }

    // ---- State ----
    bool isRunning() const;
    bool isProcessSamplingEnabled() const { return processSamplingEnabled_; }
    bool isProcessTimerActive() const;
    // Refreshes since the monitor was made; never reset.
    qint64 tick() const { return tick_; }

    // ---- The rules, on their own ----
    // "3h 7m" below a day, "12d 4h" from a day on.
    static QString uptimeText(qint64 seconds);
    // The estimate from the readings: 100, 85 or 75 by the volume, less 10 or
    // 20 for memory and 8 or 15 for the processor; 40 to 100.
    static int estimatedScore(double diskUsedFraction, std::optional<double> memoryPercent,
                              std::optional<double> cpuPercent);
    // The stored score when the settings hold an integer under the key;
    // anything else counts as absent.
    static std::optional<int> storedScore();
    // "Excellent", "Good", "Fair" or "Critical" and its tint, for a score held to 5...100.
    static std::pair<QString, Tint> band(int score);

signals:
    void changed(tarnwick::SystemMonitor::Field field);

private:
    struct SlowReadings;

    template <class T>
    void publish(T& slot, T value, Field field) {
        if (slot == value) return;
        slot = std::move(value);
        emit changed(field);
    }

    void readProcessor();
    void readMemory();
    void requestSlowReadings();
    void startSlowReadings();
    void finishSlowReadings(quint64 generation, const SlowReadings& readings);
    void finishProcessSample(quint64 generation, QList<Proc> processes);
    void updateHealth();
    void updateRecommendation();

    std::shared_ptr<ProcessorSource> processor_;
    std::shared_ptr<MemorySource> memory_;
    std::shared_ptr<DiskSource> disk_;
    std::shared_ptr<BatterySource> battery_;
    std::shared_ptr<UptimeSource> uptime_;
    std::shared_ptr<ProcessSource> processes_;

    QList<Proc> topProcesses_;
    std::optional<double> cpuPercent_;
    std::optional<double> memoryPercent_;
    QString memoryAvailableFormatted_ = QStringLiteral("\u2014");
    QString diskFreeFormatted_ = QStringLiteral("\u2014");
    QString diskUsedFormatted_ = QStringLiteral("\u2014");
    double diskUsedFraction_ = 0;
    QString healthScoreText_ = QStringLiteral("\u2014");
    QString healthLabel_ = QStringLiteral("Checking\u2026");
    QString healthDetail_ = QStringLiteral("Run Vidur Aded for a full score.");
    Tint healthTint_ = Tint::textSecondary;
    QString protectionStatus_ = QStringLiteral("Ready");
    QString batteryPercentText_ = QStringLiteral("\u2014");
    QString batteryStatus_ = QStringLiteral("\u2014");
    QString batteryDetail_ = QStringLiteral("Battery info unavailable.");
    QString uptimeShort_ = QStringLiteral("Uptime \u2014");
    QString recommendationTitle_ = QStringLiteral("Run Vidur Aded");
    QString recommendationDetail_ = QStringLiteral("Scan junk, clutter, and protection in one pass.");

    QTimer* lightTimer_ = nullptr;
    QTimer* processTimer_ = nullptr;
    bool processSamplingEnabled_ = false;
    // Numbers the process samples: only the newest one, while sampling is on, publishes.
    quint64 processGeneration_ = 0;
    // The processor counters of the refresh before, once there was one.
    std::optional<std::pair<quint64, quint64>> previousTicks_;
    qint64 tick_ = 0;
    // Volume and battery: one reading at a time; a request while one runs
    // waits for it. stop() numbers a new generation, so a reading still
    // running then publishes nothing.
    quint64 slowGeneration_ = 0;
    bool slowInFlight_ = false;
    bool slowRequested_ = false;

    // Declared last: waited for before anything else goes.
    QThreadPool pool_;
};

}  // namespace tarnwick
