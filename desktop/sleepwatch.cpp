#include "desktop/sleepwatch.h"

namespace lckb {

SleepWatch::SleepWatch(const QDBusConnection &bus, QObject *parent) : QObject(parent)
{
    QDBusConnection(bus).connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                 QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                                 this, SLOT(onPrepareForSleep(bool)));
}

void SleepWatch::onPrepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit woke();
}

} // namespace lckb
