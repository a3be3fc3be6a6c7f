#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarnwick::test {

// A /proc/<pid>/stat line as the kernel writes it.
inline QByteArray statLine(qint32 pid, const QByteArray& name, quint64 flags, quint64 start, char state = 'S') {
    QByteArray line = QByteArray::number(pid) + " (" + name + ") " + state + " 1 1 1 0 -1 ";
    line += QByteArray::number(flags);
    line += " 0 0 0 0 5 6 0 0 20 0 1 0 " + QByteArray::number(start) + " 1000 50 18446744073709551615\n";
    return line;
}

}  // namespace tarnwick::test
