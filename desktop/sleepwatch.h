#pragma once
// Waking from a suspend. While the machine sleeps, the monotonic clock that
// timers run on stands still, so after waking the next poll would come only
// when the rest of its interval is over: up to half a minute late, with the
// bulletins of the whole sleep waiting. logind tells when the machine goes to
// sleep and wakes (PrepareForSleep on the system bus).
#include <QDBusConnection>
#include <QObject>

namespace lckb {

class SleepWatch final : public QObject
{
    Q_OBJECT
public:
    // `bus`: where logind is; without one (no system bus) it never tells.
    explicit SleepWatch(const QDBusConnection &bus = QDBusConnection::systemBus(), QObject *parent = nullptr);

signals:
    // The machine is back from a sleep.
    void woke();

private slots:
    void onPrepareForSleep(bool sleeping);
};

} // namespace lckb
