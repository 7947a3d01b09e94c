#include "windows/notificationhost.h"

#include "windows/bulletinpopup.h"
#include "windows/mainlink.h"
#include "windows/openbulletin.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lckb {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

QDBusMessage closeCall(uint id)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification")) << id;
}
} // namespace

// One announcement: a notification once the server has given it an id, or
// the pop-up window shown in its place.
class Notice final : public PopupHandle
{
public:
    Notice(NotificationHost &host, const Bulletin &b, int sequence)
        : PopupHandle(&host), host(host), bulletin(b), sequence(sequence)
    {
    }
    void show() override { host.notify(this); }
    void close() override { host.withdraw(this); }

    NotificationHost &host;
    const Bulletin bulletin;
    const int sequence;
    uint id = 0;
    bool closeWhenKnown = false; // closed before the server answered
    QPointer<PopupHandle> popup; // the pop-up window shown in its place
};

NotificationHost::NotificationHost(MainLink &main, int tickMs, const QDBusConnection &bus)
    : m_main(main)
    , m_tickMs(tickMs)
    , m_bus(bus)
    , m_fallback(main, tickMs)
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

NotificationHost::~NotificationHost()
{
    // A notification left on the desktop would open nothing once the program
    // has gone. Waited for: no event loop runs any more to send it later.
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it)
        m_bus.call(closeCall(it.key()), QDBus::Block, 500);
}

PopupHandle *NotificationHost::createPopup(const Bulletin &b, int sequence)
{
    return new Notice(*this, b, sequence);
}

QString NotificationHost::bodyText(const QString &text)
{
    QString out = text;
    return out.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;")).replace(u'>', QLatin1String("&gt;"));
}

void NotificationHost::notify(Notice *n)
{
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("lckb"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    // The program plays its own sound, by the channel's rule.
    hints.insert(QStringLiteral("suppress-sound"), true);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << uint(0) << QStringLiteral("lckb") << n->bulletin.title << bodyText(BulletinPopup::kInvitation)
         << QStringList{kDefaultAction, QStringLiteral("查看")} << hints << int(3 * m_tickMs);
    auto *watch = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 10000), n);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [this, n, watch] {
        watch->deleteLater();
        const QDBusPendingReply<uint> reply = *watch;
        if (reply.isError())
            failed(n);
        else
            notified(n, reply.value());
    });
}

void NotificationHost::notified(Notice *n, uint id)
{
    if (n->closeWhenKnown) {
        m_bus.send(closeCall(id));
        n->deleteLater();
        return;
    }
    n->id = id;
    m_shown.insert(id, n);
}

void NotificationHost::failed(Notice *n)
{
    if (n->closeWhenKnown) {
        n->deleteLater();
        return;
    }
    // No notification server: the bulletin still gets its pop-up.
    PopupHandle *p = m_fallback.createPopup(n->bulletin, n->sequence);
    n->popup = p;
    connect(p, &QObject::destroyed, n, &QObject::deleteLater);
    p->show();
}

void NotificationHost::withdraw(Notice *n)
{
    if (n->popup) {
        n->popup->close();
        return;
    }
    if (n->id == 0) {
        n->closeWhenKnown = true;
        return;
    }
    m_shown.remove(n->id);
    m_bus.send(closeCall(n->id));
    n->deleteLater();
}

void NotificationHost::onActionInvoked(uint id, const QString &key)
{
    Notice *n = m_shown.value(id);
    if (!n || key != kDefaultAction)
        return;
    openBulletin(m_main, n->bulletin.url, [n = QPointer<Notice>(n)] {
        if (n)
            n->close();
    });
}

void NotificationHost::onClosed(uint id, uint)
{
    if (Notice *n = m_shown.take(id))
        n->deleteLater();
}

} // namespace lckb
