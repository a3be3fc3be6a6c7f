#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

namespace tarnwick {

// One line of a procps "ps" listing printed without a header whose columns
// are the pid, a fixed number of figures, and the command name last. The
// name may hold spaces, so it is everything after the figures, with each run
// of white space collapsed to one blank.
struct PsLine {
    qint32 pid = 0;
    QByteArrayList figures;  // the columns between the pid and the name, as printed
    QString command;         // the name column, decoded losslessly (PathCodec)

    // The command's last path component ("/usr/lib/firefox/firefox" -> "firefox").
    QString name() const;

    // Nothing for a line with fewer columns, no name, or a pid that is not
    // a positive decimal number.
    static std::optional<PsLine> parse(const QByteArray& line, int figureCount);
};

}  // namespace tarnwick
