#include "windows/notificationhost.h"

#include "windows/bulletinpopup.h"
#include "windows/mainlink.h"
#include "windows/openbulletin.h"

namespace lckb {

namespace {
const QString kDefaultAction = QStringLiteral("default");
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
    , m_server(bus)
    , m_fallback(main, tickMs)
{
    connect(&m_server, &DesktopNotifications::actionInvoked, this, &NotificationHost::onActionInvoked);
    connect(&m_server, &DesktopNotifications::closed, this, &NotificationHost::onClosed);
}

NotificationHost::~NotificationHost()
{
    // A notification left on the desktop would open nothing once the program
    // has gone. Waited for: no event loop runs any more to send it later.
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it)
        m_server.closeNow(it.key(), 500);
}

PopupHandle *NotificationHost::createPopup(const Bulletin &b, int sequence)
{
    return new Notice(*this, b, sequence);
}

void NotificationHost::notify(Notice *n)
{
    DesktopNotification note;
    note.summary = n->bulletin.title;
    note.body = BulletinPopup::kInvitation;
    note.actions = QStringList{kDefaultAction, QStringLiteral("查看")};
    note.soundless = true; // the program plays its own sound, by the channel's rule
    note.expireMs = 3 * m_tickMs;
    m_server.notify(note, 10000, n, [this, n](std::optional<uint> id) {
        if (id)
            notified(n, *id);
        else
            failed(n);
    });
}

void NotificationHost::notified(Notice *n, uint id)
{
    if (n->closeWhenKnown) {
        m_server.close(id);
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
    m_server.close(n->id);
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
