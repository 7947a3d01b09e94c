#include "runlimit.h"

namespace lckb {

namespace {
qint64 floorMinutes(const QDateTime &t)
{
    // Counted on the absolute time line, so a daylight-saving change neither
    // stretches nor shortens the run. Every zone in use is offset from UTC by
    // whole minutes, so the cut falls on the local minute as well.
    const qint64 ms = t.toMSecsSinceEpoch();
    return ms >= 0 ? ms / 60000 : -((-ms + 59999) / 60000);
}
} // namespace

qint64 minuteBoundaries(const QDateTime &start, const QDateTime &now)
{
    if (!start.isValid() || !now.isValid())
        return 0;
    return floorMinutes(now) - floorMinutes(start);
}

RunningLimit::RunningLimit(const Clock *clock, int intervalMs, QObject *parent)
    : QObject(parent), m_clock(clock)
{
    Timer2.setInterval(intervalMs);
    connect(&Timer2, &QTimer::timeout, this, &RunningLimit::check);
}

void RunningLimit::start()
{
    Start = m_clock->now();
    Timer2.start();
}

void RunningLimit::check()
{
    if (m_reached || minuteBoundaries(Start, m_clock->now()) <= EndTime)
        return;
    m_reached = true;
    Timer2.stop(); // the program ends now; nothing is left to check
    emit limitReached();
}

} // namespace lckb
