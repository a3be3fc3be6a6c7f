#pragma once

#include "services/health/ProcessorSource.h"

#include <QByteArray>
#include <QString>

namespace tarnwick {

// The processor counters of the "cpu" line of /proc/stat under a root ("" is
// the real one): busy is user + nice + system + irq + softirq + steal, idle
// is idle + iowait (guest time is already part of user and nice).
class LinuxProcessorSource : public ProcessorSource {
public:
    explicit LinuxProcessorSource(QString root) : root_(std::move(root)) {}

    std::optional<Ticks> read() override;

    // The counters of a /proc/stat text; nothing without a well-formed "cpu" line.
    static std::optional<Ticks> parse(const QByteArray& stat);

private:
    QString root_;
};

}  // namespace tarnwick
