#pragma once
// The present local date and time, injectable so that tests can run a
// twelve-hour day in milliseconds.
#include <QDateTime>

namespace lckb {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    static const SystemClock *instance()
    {
        static const SystemClock c;
        return &c;
    }
};

// A clock that moves only when told to.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(const QDateTime &start) : m_now(start) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

} // namespace lckb
