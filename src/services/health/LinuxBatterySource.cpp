#include "services/health/LinuxBatterySource.h"

#include "services/health/StatusFileReader.h"

#include <QDir>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

std::optional<qint64> number(const QString& path) {
    const std::optional<QByteArray> line = StatusFileReader::readLine(path);
    if (!line) return std::nullopt;
    bool ok = false;
    const qint64 value = line->toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// now / full as a whole percentage, when both are there and full is above zero.
std::optional<int> ratio(const QString& supply, const QString& nowName, const QString& fullName) {
    const std::optional<qint64> now = number(supply + nowName);
    const std::optional<qint64> full = number(supply + fullName);
    if (!now || !full || *full <= 0 || *now < 0) return std::nullopt;
    return static_cast<int>(std::lround(std::min(1.0, static_cast<double>(*now) / static_cast<double>(*full)) * 100));
}

}  // namespace

std::optional<BatterySource::Reading> LinuxBatterySource::read() {
    // The entries are links to the devices' own folders; following them is
    // how the class folder is meant to be read.
    const QString folder = root_ + QStringLiteral("/sys/class/power_supply");
    const QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);

    std::optional<QString> battery;
    bool onAdapter = false;
    for (const QString& name : names) {
        const QString supply = folder + QLatin1Char('/') + name + QLatin1Char('/');
        if (StatusFileReader::readLine(supply + QStringLiteral("scope")) == QByteArray("Device")) continue;
        const std::optional<QByteArray> type = StatusFileReader::readLine(supply + QStringLiteral("type"));
        if (!type) continue;
        if (*type == "Battery") {
            if (battery || number(supply + QStringLiteral("present")) == 0) continue;
            battery = supply;
        } else if (*type == "Mains" || *type == "USB") {
            onAdapter = onAdapter || number(supply + QStringLiteral("online")) == 1;
        }
    }
    if (!battery) return std::nullopt;

    Reading reading;
    if (const std::optional<qint64> capacity = number(*battery + QStringLiteral("capacity"))) {
        reading.capacityPercent = static_cast<int>(std::clamp<qint64>(*capacity, 0, 100));
    } else {
        reading.capacityPercent = ratio(*battery, QStringLiteral("energy_now"), QStringLiteral("energy_full"));
        if (!reading.capacityPercent) {
            reading.capacityPercent = ratio(*battery, QStringLiteral("charge_now"), QStringLiteral("charge_full"));
        }
    }
    reading.charging = StatusFileReader::readLine(*battery + QStringLiteral("status")) == QByteArray("Charging");
    reading.onAdapter = onAdapter;
    reading.cycleCount = number(*battery + QStringLiteral("cycle_count"));
    return reading;
}

}  // namespace tarnwick
