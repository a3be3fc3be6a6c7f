#pragma once

// Fake application bundles for the apps and update finders: a folder
// "<name>.app" with Contents/Info.plist written by libplist, as XML or binary.

#include "TestSupport.h"

#include <plist/plist.h>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdlib>

namespace tarnwick::test {

enum class PlistFormat { xml, binary };

using InfoKeys = QList<QPair<QByteArray, QString>>;

// A property list of one dictionary with text values.
inline QByteArray infoPlist(const InfoKeys& keys, PlistFormat format = PlistFormat::xml) {
    plist_t dict = plist_new_dict();
    for (const auto& [key, value] : keys) {
        plist_dict_set_item(dict, key.constData(), plist_new_string(value.toUtf8().constData()));
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::xml) {
        plist_to_xml(dict, &bytes, &length);
    } else {
        plist_to_bin(dict, &bytes, &length);
    }
    QByteArray out(bytes, int(length));
    std::free(bytes);
    plist_free(dict);
    return out;
}

// Writes folder/<name>.app with raw bytes as its Info.plist; returns the bundle's path.
inline QString writeBundleWithInfo(const QString& folder, const QString& name, const QByteArray& info) {
    const QString bundle = folder + QLatin1Char('/') + name + QStringLiteral(".app");
    writeFile(bundle + QStringLiteral("/Contents/Info.plist"), info);
    return bundle;
}

// The bundle with an Info.plist of the keys.
inline QString writeBundle(const QString& folder, const QString& name, const InfoKeys& keys = {},
                           PlistFormat format = PlistFormat::xml) {
    return writeBundleWithInfo(folder, name, infoPlist(keys, format));
}

}  // namespace tarnwick::test
