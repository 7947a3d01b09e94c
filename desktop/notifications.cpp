#include "desktop/notifications.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lckb {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage closeCall(uint id)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification")) << id;
}
} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DesktopNotifications::notify(const DesktopNotification &n, int limitMs, QObject *context,
                                  std::function<void(std::optional<uint>)> done)
{
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("lckb"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    if (n.soundless)
        hints.insert(QStringLiteral("suppress-sound"), true);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << uint(0) << QStringLiteral("lckb") << n.summary << bodyText(n.body)
         << n.actions << hints << n.expireMs;
    auto *watch = new QDBusPendingCallWatcher(m_bus.asyncCall(call, limitMs), context);
    connect(watch, &QDBusPendingCallWatcher::finished, context, [watch, done = std::move(done)] {
        watch->deleteLater();
        const QDBusPendingReply<uint> reply = *watch;
        done(reply.isError() ? std::nullopt : std::optional<uint>(reply.value()));
    });
}

void DesktopNotifications::close(uint id)
{
    m_bus.send(closeCall(id));
}

void DesktopNotifications::closeNow(uint id, int limitMs)
{
    m_bus.call(closeCall(id), QDBus::Block, limitMs);
}

QString DesktopNotifications::bodyText(const QString &text)
{
    QString out = text;
    return out.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;")).replace(u'>', QLatin1String("&gt;"));
}

} // namespace lckb
