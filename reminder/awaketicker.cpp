#include "reminder/awaketicker.h"

#include <QtGlobal>

namespace lckb {

AwakeTicker::AwakeTicker(int intervalMs, QObject *parent)
    : QObject(parent), m_intervalMs(qMax(1, intervalMs))
{
    // One shot at a time, each aimed at its due time: Qt would move a late
    // periodic timer's phase to the moment it fired.
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AwakeTicker::onTimeout);
}

void AwakeTicker::start()
{
    m_clock.start();
    m_due = 0;
    scheduleNext();
}

void AwakeTicker::scheduleNext()
{
    m_due += m_intervalMs;
    m_timer.start(int(qMax<qint64>(0, m_due - m_clock.elapsed())));
}

void AwakeTicker::onTimeout()
{
    const qint64 late = m_clock.elapsed() - m_due;
    if (late >= m_intervalMs) {
        // Held up: the ticks missed meanwhile are dropped, this one too.
        m_due += late / m_intervalMs * m_intervalMs;
        scheduleNext();
        return;
    }
    scheduleNext();
    emit ticked();
}

} // namespace lckb
