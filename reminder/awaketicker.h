#pragma once
// A periodic timer that counts only the time the program ran. When the whole
// process was held up for an interval or more (a laptop's sleep, a stopped
// process), the tick that comes late is skipped and the later ones keep
// their phase: timers started at different moments do not all fire at once
// on waking, and what they time (a pop-up's life) is not used up asleep.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace lckb {

class AwakeTicker final : public QObject
{
    Q_OBJECT
public:
    explicit AwakeTicker(int intervalMs, QObject *parent = nullptr);

    void start();
    void stop() { m_timer.stop(); }
    bool isActive() const { return m_timer.isActive(); }

signals:
    void ticked();

private:
    void onTimeout();
    void scheduleNext();

    const int m_intervalMs;
    QTimer m_timer;
    QElapsedTimer m_clock; // monotonic: it runs on while the process is stopped
    qint64 m_due = 0;      // when the next tick is due, on m_clock
};

} // namespace lckb
