#include "desktop/trayhost.h"

#include "desktop/windowhints.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTimer>

namespace lckb {

bool statusNotifierHostReady()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    // What Qt asks before it registers an icon there.
    QDBusMessage get = QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
           && reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

void whenTrayHostSettled(int maxMs, std::function<void()> ready)
{
    if (!QDBusConnection::sessionBus().isConnected() || xembedTrayPresent() || statusNotifierHostReady()) {
        ready();
        return;
    }
    // A look now and then costs less than following the watcher's and the
    // host's signals in every order they may come.
    auto *look = new QTimer;
    auto *since = new QElapsedTimer;
    since->start();
    QObject::connect(look, &QTimer::timeout, look, [look, since, maxMs, ready = std::move(ready)] {
        if (since->elapsed() < maxMs && !statusNotifierHostReady())
            return;
        delete since;
        look->deleteLater();
        look->stop();
        ready();
    });
    look->start(100);
}

} // namespace lckb
