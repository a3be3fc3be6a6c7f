#include "services/cleanup/FlatpakTool.h"

#include "platform/Environment.h"
#include "support/FileError.h"
#include "support/ReverseDnsName.h"

#include <QStringDecoder>

namespace tarnwick::FlatpakTool {

namespace {

QString program() {
    return Environment::current().toolPath(kUsualPath);
}

QString decoded(const QByteArray& bytes, bool* ok = nullptr) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (ok) *ok = !decoder.hasError();
    return decoder.hasError() ? QString() : text;
}

// "Could not uninstall “name”: " and the like.
QString failedTo(const QString& verb, const QString& name) {
    return (verb == QLatin1String("uninstall") ? QStringLiteral("Could not uninstall ")
                                               : QStringLiteral("Could not update ")) +
           FileError::quoted(name) + QStringLiteral(": ");
}

QString notFoundText() { return QStringLiteral("flatpak is not installed on this computer."); }
QString failedToStartText() { return QStringLiteral("flatpak could not be started."); }

// Runs one change of the user's installation; the reason when it did not go through.
std::optional<QString> change(const QString& verb, const QString& id, const QString& name,
                              std::chrono::milliseconds timeout, const std::stop_token& stop) {
    const QString what = failedTo(verb, name);
    if (!ReverseDnsName::isValid(id)) return what + QStringLiteral("it has no usable Flatpak id.");
    const ToolResult result = ToolRunner::run(
        program(), {verb, QStringLiteral("--user"), QStringLiteral("--noninteractive"), id}, timeout,
        ToolRunner::Stderr::capture, {}, stop);
    switch (result.status) {
    case ToolResult::Status::notFound:
        return what + notFoundText();
    case ToolResult::Status::failedToStart:
        return what + failedToStartText();
    case ToolResult::Status::timedOut:
        return what + QStringLiteral("flatpak did not finish within ") +
               QString::number(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()) +
               QStringLiteral(" seconds.");
    case ToolResult::Status::crashed:
        return what + QStringLiteral("flatpak ended with signal ") + QString::number(result.signalNumber) +
               QLatin1Char('.');
    case ToolResult::Status::finished:
    case ToolResult::Status::running:
        break;
    }
    if (result.succeeded()) return std::nullopt;
    // flatpak's own last words, at most one line of them.
    const QStringList said = decoded(result.errorOutput).trimmed().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!said.isEmpty()) return what + said.last().trimmed().left(300);
    return what + QStringLiteral("flatpak ended with status ") + QString::number(result.exitCode) + QLatin1Char('.');
}

}  // namespace

QList<Update> updates(bool system, std::chrono::milliseconds timeout, const std::stop_token& stop) {
    QList<Update> found;
    const ToolResult result = ToolRunner::run(
        program(),
        {QStringLiteral("remote-ls"), system ? QStringLiteral("--system") : QStringLiteral("--user"),
         QStringLiteral("--updates"), QStringLiteral("--app"), QStringLiteral("--columns=application,version")},
        timeout, ToolRunner::Stderr::discard, {}, stop);
    if (!result.succeeded()) return found;
    bool ok = false;
    const QString text = decoded(result.output, &ok);
    if (!ok) return found;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (found.size() >= kUpdatesKept) break;
        const QStringList columns = line.split(QLatin1Char('\t'));
        const QString id = columns.first().trimmed();
        if (!ReverseDnsName::isValid(id)) continue;
        const QString version = columns.value(1).simplified();
        found.append({id, version.size() <= 64 ? version : QString()});
    }
    return found;
}

std::optional<QString> whyUninstallCannotRun(const QString& id, const QString& name) {
    const QString what = failedTo(QStringLiteral("uninstall"), name);
    if (!ReverseDnsName::isValid(id)) return what + QStringLiteral("it has no usable Flatpak id.");
    switch (ToolRunner::whyNotRunnable(program()).value_or(ToolResult::Status::finished)) {
    case ToolResult::Status::notFound:
        return what + notFoundText();
    case ToolResult::Status::failedToStart:
        return what + failedToStartText();
    default:
        return std::nullopt;
    }
}

std::optional<QString> uninstall(const QString& id, const QString& name, std::chrono::milliseconds timeout,
                                 const std::stop_token& stop) {
    return change(QStringLiteral("uninstall"), id, name, timeout, stop);
}

std::optional<QString> update(const QString& id, const QString& name, std::chrono::milliseconds timeout,
                              const std::stop_token& stop) {
    return change(QStringLiteral("update"), id, name, timeout, stop);
}

}  // namespace tarnwick::FlatpakTool
