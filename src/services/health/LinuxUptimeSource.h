#pragma once

#include "services/health/UptimeSource.h"

#include <QByteArray>
#include <QString>

namespace tarnwick {

// The boot time from the "btime" line of /proc/stat under a root ("" is the
// real one).
class LinuxUptimeSource : public UptimeSource {
public:
    explicit LinuxUptimeSource(QString root) : root_(std::move(root)) {}

    std::optional<qint64> bootTime() override;

    // The btime of a /proc/stat text; nothing without a well-formed line.
    static std::optional<qint64> parse(const QByteArray& stat);

private:
    QString root_;
};

}  // namespace tarnwick
