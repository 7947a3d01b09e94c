#pragma once
// The running limit: the program ends itself EndTime minutes after it started.
#include "clock.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

namespace lckb {

// The number of minute boundaries between start and now: the difference in
// whole minutes with each time cut down to its minute. Negative when now lies
// before start (the clock was set back).
qint64 minuteBoundaries(const QDateTime &start, const QDateTime &now);

class RunningLimit : public QObject
{
    Q_OBJECT
public:
    RunningLimit(const Clock *clock, int intervalMs, QObject *parent = nullptr);

    // Sets Start to now and starts Timer2.
    void start();
    // The Timer2 tick: emits limitReached once more than EndTime minutes have
    // passed since Start.
    void check();

    QDateTime Start;   // when the limit began to run
    int EndTime = 720; // the limit, in minutes
    QTimer Timer2;     // the running-limit timer

signals:
    // The program should end now, without a message and without closing steps.
    void limitReached();

private:
    const Clock *m_clock;
    bool m_reached = false;
};

} // namespace lckb
