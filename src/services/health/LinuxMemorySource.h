#pragma once

#include "services/health/MemorySource.h"

#include <QByteArray>
#include <QString>

namespace tarnwick {

// MemTotal and MemAvailable of /proc/meminfo under a root ("" is the real one).
class LinuxMemorySource : public MemorySource {
public:
    explicit LinuxMemorySource(QString root) : root_(std::move(root)) {}

    std::optional<Reading> read() override;

    // The figures of a meminfo text; nothing unless both lines are there, in
    // kB, with a total above zero and no more available than the total.
    static std::optional<Reading> parse(const QByteArray& meminfo);

private:
    QString root_;
};

}  // namespace tarnwick
