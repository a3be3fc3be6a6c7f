#include "support/PathRules.h"

#include "platform/Environment.h"

#include <QStringList>

namespace tarnwick::PathRules {

namespace {

QString trimTrailingSlashes(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/')) --end;
    return path.left(end);
}

}  // namespace

QString lastPathComponent(const QString& path) {
    if (path.isEmpty()) return path;
    const QString trimmed = trimTrailingSlashes(path);
    if (trimmed == QLatin1String("/")) return trimmed;
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? trimmed : trimmed.mid(slash + 1);
}

QString deletingLastPathComponent(const QString& path) {
    const QString trimmed = trimTrailingSlashes(path);
    if (trimmed == QLatin1String("/")) return trimmed;
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QString();
    if (slash == 0) return QStringLiteral("/");
    return trimTrailingSlashes(trimmed.left(slash));
}

QString pathExtension(const QString& path) {
    const QString name = lastPathComponent(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1) return QString();
    return name.mid(dot + 1);
}

QString deletingPathExtension(const QString& name) {
    const QString component = lastPathComponent(name);
    const QString extension = pathExtension(component);
    return extension.isEmpty() ? component : component.left(component.size() - extension.size() - 1);
}

QString appendingPathComponent(const QString& path, const QString& component) {
    if (path.isEmpty()) return component;
    QString result = trimTrailingSlashes(path);
    QString rest = component;
    while (rest.startsWith(QLatin1Char('/'))) rest.remove(0, 1);
    if (result == QLatin1String("/")) return result + rest;
    return rest.isEmpty() ? result : result + QLatin1Char('/') + rest;
}

QString standardizingPath(const QString& path) {
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/"))) {
        expanded = Environment::current().homeDirectory + expanded.mid(1);
    }
    if (expanded.isEmpty()) return expanded;
    const bool absolute = expanded.startsWith(QLatin1Char('/'));
    QStringList parts;
    for (const QString& part : expanded.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".")) continue;
        if (part == QLatin1String("..") && absolute) {
            if (!parts.isEmpty()) parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    const QString joined = parts.join(QLatin1Char('/'));
    return absolute ? QLatin1Char('/') + joined : joined;
}

QString abbreviatingWithTilde(const QString& path) {
    const QString home = trimTrailingSlashes(Environment::current().homeDirectory);
    if (home.isEmpty() || home == QLatin1String("/")) return path;
    if (path == home) return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/'))) return QLatin1Char('~') + path.mid(home.size());
    return path;
}

bool isSameOrBelow(const QString& path, const QString& ancestor) {
    if (path == ancestor) return true;
    if (ancestor == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
    return path.startsWith(ancestor) && path.size() > ancestor.size() &&
           path.at(ancestor.size()) == QLatin1Char('/');
}

}  // namespace tarnwick::PathRules
