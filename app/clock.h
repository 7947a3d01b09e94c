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

} // namespace lckb
