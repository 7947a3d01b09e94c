#include "reminder/runlimit.h"

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

RunLimit::RunLimit(const Clock *clock, int intervalMs, QObject *parent)
    : QObject(parent), m_clock(clock)
{
    m_limitTimer.setInterval(intervalMs);
    connect(&m_limitTimer, &QTimer::timeout, this, &RunLimit::check);
}

void RunLimit::start()
{
    m_startedAt = m_clock->now();
    m_limitTimer.start();
}

void RunLimit::check()
{
    if (m_reached || minuteBoundaries(m_startedAt, m_clock->now()) <= m_limitMinutes)
        return;
    m_reached = true;
    m_limitTimer.stop(); // the program ends now; nothing is left to check
    emit limitReached();
}

} // namespace lckb
