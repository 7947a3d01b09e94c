#include "windows/notificationhost.h"

#include "windows/bulletinpopup.h"
#include "windows/mainlink.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lckb {

const QString NotificationHost::kBody = QStringLiteral("有新信息，请点击查看！");

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");
} // namespace

// One announcement: a notification once the server has given it an id, or
// the pop-up window shown in its place.
class Notice : public QObject
{
public:
    Notice(const PopupData &d, QObject *parent)
        : QObject(parent)
        , data(d)
    {
    }
    const PopupData data;
    uint id = 0;
    bool closeWhenKnown = false; // closed before the server answered
    QPointer<QWidget> popup;
};

NotificationHost::NotificationHost(MainLink &main, int tickMs, const QDBusConnection &bus)
    : MainWindowAlertHost(main)
    , m_tickMs(tickMs)
    , m_bus(bus)
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

NotificationHost::~NotificationHost()
{
    // A notification left on the desktop would open nothing once the program
    // has gone. Waited for: no event loop runs any more to send it later.
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it) {
        m_bus.call(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"))
                       << it.key(),
                   QDBus::Block, 500);
    }
}

QObject *NotificationHost::createPopup(const PopupData &d)
{
    return new Notice(d, this);
}

void NotificationHost::showPopup(QObject *popup)
{
    auto *n = dynamic_cast<Notice *>(popup);
    if (!n)
        return;
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("lckb"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    // The program plays its own sound, by the channel's rule.
    hints.insert(QStringLiteral("suppress-sound"), true);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << uint(0) << QStringLiteral("lckb") << n->data.title << kBody
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
        m_bus.send(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"))
                   << id);
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
    auto *p = new BulletinPopup(m_main, n->data, m_tickMs);
    n->popup = p;
    connect(p, &QObject::destroyed, n, &QObject::deleteLater);
    p->show();
}

void NotificationHost::closePopup(QObject *popup)
{
    auto *n = dynamic_cast<Notice *>(popup);
    if (!n)
        return;
    if (n->popup) {
        n->popup->close();
        return;
    }
    if (n->id == 0) {
        n->closeWhenKnown = true;
        return;
    }
    m_shown.remove(n->id);
    m_bus.send(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"))
               << n->id);
    n->deleteLater();
}

void NotificationHost::onActionInvoked(uint id, const QString &key)
{
    Notice *n = m_shown.value(id);
    if (!n || key != kDefaultAction)
        return;
    openBulletin(m_main, n->data.url, [this, n = QPointer<Notice>(n)] {
        if (n)
            closePopup(n);
    });
}

void NotificationHost::onClosed(uint id, uint)
{
    if (Notice *n = m_shown.take(id))
        n->deleteLater();
}

} // namespace lckb
