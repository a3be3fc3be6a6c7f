#include "services/shared/DesktopEntryFile.h"

#include "platform/FileReader.h"
#include "platform/PathCodec.h"

#include <algorithm>
#include <cerrno>

namespace tarnwick {

namespace {

const QString kEntryGroup = QStringLiteral("Desktop Entry");

QString unescaped(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c != QLatin1Char('\\') || i + 1 == raw.size()) {
            out.append(c);
            continue;
        }
        const QChar next = raw[++i];
        switch (next.unicode()) {
        case 's': out.append(QLatin1Char(' ')); break;
        case 'n': out.append(QLatin1Char('\n')); break;
        case 't': out.append(QLatin1Char('\t')); break;
        case 'r': out.append(QLatin1Char('\r')); break;
        case '\\': out.append(QLatin1Char('\\')); break;
        default:
            out.append(c);
            out.append(next);
            break;
        }
    }
    return out;
}

}  // namespace

DesktopEntryFile DesktopEntryFile::read(const QString& path, qint64 limit) {
    DesktopEntryFile entry;
    int failure = 0;
    std::optional<FileReader> reader = FileReader::open(path, FileReader::Links::follow, &failure);
    if (!reader) {
        if (failure == 0) entry.status_ = Status::notAFile;
        else if (failure == ENOENT || failure == ENOTDIR) entry.status_ = Status::gone;
        else entry.status_ = Status::unreadable;
        return entry;
    }
    entry.device_ = reader->device();
    entry.inode_ = reader->inode();
    if (limit < 0 || reader->size() > limit) {
        entry.status_ = Status::tooLarge;
        return entry;
    }
    // One byte past the cap tells a file that grew since it was measured.
    const std::optional<QByteArray> bytes = reader->readUpTo(limit + 1);
    if (!bytes) {
        entry.status_ = Status::unreadable;
        return entry;
    }
    if (bytes->size() > limit) {
        entry.status_ = Status::tooLarge;
        return entry;
    }
    DesktopEntryFile parsed = parse(PathCodec::decode(*bytes));
    parsed.device_ = entry.device_;
    parsed.inode_ = entry.inode_;
    return parsed;
}

DesktopEntryFile DesktopEntryFile::parse(const QString& text) {
    DesktopEntryFile entry;
    entry.status_ = Status::ok;
    entry.text_ = text;
    Group* current = nullptr;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) continue;
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            entry.groups_.append(Group{trimmed.mid(1, trimmed.size() - 2).toString(), {}});
            current = &entry.groups_.last();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!current || equals <= 0) continue;
        const QString key = line.left(equals).trimmed().toString();
        if (key.isEmpty()) continue;
        current->entries.append({key, line.mid(equals + 1).trimmed().toString()});
    }
    return entry;
}

bool DesktopEntryFile::hasGroup(const QString& name) const {
    return std::any_of(groups_.begin(), groups_.end(), [&](const Group& g) { return g.name == name; });
}

std::optional<QString> DesktopEntryFile::value(const QString& group, const QString& key) const {
    std::optional<QString> found;
    for (const Group& g : groups_) {
        if (g.name != group) continue;
        for (const auto& [name, raw] : g.entries) {
            if (name == key) found = raw;
        }
    }
    return found;
}

std::optional<QString> DesktopEntryFile::entryString(const QString& key) const {
    const std::optional<QString> raw = value(kEntryGroup, key);
    if (!raw) return std::nullopt;
    return unescaped(*raw);
}

std::optional<QString> DesktopEntryFile::entryLocaleString(const QString& key, const QString& locale) const {
    // lang_COUNTRY.ENCODING@MODIFIER, every part but lang optional.
    QString rest = locale;
    QString modifier;
    if (const qsizetype at = rest.indexOf(QLatin1Char('@')); at >= 0) {
        modifier = rest.mid(at + 1);
        rest.truncate(at);
    }
    if (const qsizetype dot = rest.indexOf(QLatin1Char('.')); dot >= 0) rest.truncate(dot);
    QString country;
    if (const qsizetype underscore = rest.indexOf(QLatin1Char('_')); underscore >= 0) {
        country = rest.mid(underscore + 1);
        rest.truncate(underscore);
    }
    const QString& lang = rest;
    QStringList tried;
    if (!lang.isEmpty()) {
        if (!country.isEmpty() && !modifier.isEmpty()) tried << lang + u'_' + country + u'@' + modifier;
        if (!country.isEmpty()) tried << lang + u'_' + country;
        if (!modifier.isEmpty()) tried << lang + u'@' + modifier;
        tried << lang;
    }
    for (const QString& suffix : tried) {
        if (const std::optional<QString> raw = value(kEntryGroup, key + u'[' + suffix + u']')) return unescaped(*raw);
    }
    return entryString(key);
}

std::optional<bool> DesktopEntryFile::entryBoolean(const QString& key) const {
    const std::optional<QString> raw = value(kEntryGroup, key);
    if (!raw) return std::nullopt;
    if (*raw == QLatin1String("true") || *raw == QLatin1String("1")) return true;
    if (*raw == QLatin1String("false") || *raw == QLatin1String("0")) return false;
    return std::nullopt;
}

QStringList DesktopEntryFile::entryList(const QString& key) const {
    const std::optional<QString> raw = value(kEntryGroup, key);
    if (!raw) return {};
    QStringList items;
    QString item;
    for (qsizetype i = 0; i < raw->size(); ++i) {
        const QChar c = raw->at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw->size() && raw->at(i + 1) == QLatin1Char(';')) {
            item.append(QLatin1Char(';'));
            ++i;
        } else if (c == QLatin1Char(';')) {
            if (!item.isEmpty()) items.append(unescaped(item));
            item.clear();
        } else {
            item.append(c);
        }
    }
    if (!item.isEmpty()) items.append(unescaped(item));
    return items;
}

}  // namespace tarnwick
