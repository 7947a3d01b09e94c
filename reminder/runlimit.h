#pragma once
// The running limit: the program ends itself a fixed number of minutes after
// it started.
#include "app/clock.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

namespace lckb {

// The number of minute boundaries between start and now: the difference in
// whole minutes with each time cut down to its minute. Negative when now lies
// before start (the clock was set back).
qint64 minuteBoundaries(const QDateTime &start, const QDateTime &now);

class RunLimit : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultLimitMinutes = 720;

    // `intervalMs`: how often the limit is looked at.
    RunLimit(const Clock *clock, int intervalMs, QObject *parent = nullptr);

    // The limit starts to run now.
    void start();
    void stop() { m_limitTimer.stop(); }
    bool timerRunning() const { return m_limitTimer.isActive(); }
    // A look at the limit: emits limitReached once more than limitMinutes()
    // minute boundaries have passed since startedAt().
    void check();

    QDateTime startedAt() const { return m_startedAt; }
    int limitMinutes() const { return m_limitMinutes; }
    void setLimitMinutes(int minutes) { m_limitMinutes = minutes; }

signals:
    // The program should end now; what it says first is the end notice's
    // affair (mainwin/endnotice.h).
    void limitReached();

private:
    const Clock *m_clock;
    QTimer m_limitTimer;
    QDateTime m_startedAt;
    int m_limitMinutes = kDefaultLimitMinutes;
    bool m_reached = false;
};

} // namespace lckb
