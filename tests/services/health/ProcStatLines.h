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

// The first lines of a /proc/<pid>/status file, down to the user ids (real,
// effective, saved, file system).
inline QByteArray statusLines(const QByteArray& name, quint32 uid) {
    const QByteArray id = QByteArray::number(uid);
    return "Name:\t" + name + "\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t1\nPid:\t1\nPPid:\t0\n"
           "Uid:\t" + id + "\t" + id + "\t" + id + "\t" + id + "\n";
}

}  // namespace tarnwick::test
