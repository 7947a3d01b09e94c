#pragma once
// Milliseconds since this process started, counting the loading of the
// libraries before main: field 22 of /proc/self/stat against the boot-time
// clock it is counted on (10 ms resolution). Header-only, so programs that
// link nothing of lckb can use the same clock.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <ctime>
#include <unistd.h>

namespace lckb {

inline qint64 processAgeMs()
{
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    // The command name may hold blanks; the fields after it do not.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return 0;
    const qint64 ticks = fields.at(19).toLongLong();
    timespec now = {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const qint64 nowMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return qMax<qint64>(0, nowMs - ticks * 1000 / ::sysconf(_SC_CLK_TCK));
}

} // namespace lckb
