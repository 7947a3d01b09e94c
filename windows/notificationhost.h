#pragma once
// The alerts as desktop notifications (org.freedesktop.Notifications on the
// session bus), for Wayland without XWayland, where a window cannot place
// itself in the bottom-right corner. Each notification carries the
// bulletin's title and the pop-up's invitation; its default action does what
// a click on the pop-up does. Where the notification server refuses or is
// missing, the bulletin gets a pop-up window after all.
#include "desktop/notifications.h"
#include "reminder/alerts.h"
#include "windows/popuphost.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QPointer>

namespace lckb {

class MainLink;
class Notice;

class NotificationHost final : public QObject, public PopupHost
{
    Q_OBJECT
public:
    // `tickMs`: the interval of a pop-up's closing timer; a notification
    // asks to expire after three ticks, as a pop-up closes.
    NotificationHost(MainLink &main, int tickMs, const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~NotificationHost() override;

    PopupHandle *createPopup(const Bulletin &b, int sequence) override;

private slots:
    void onActionInvoked(uint id, const QString &key);
    void onClosed(uint id, uint reason);

private:
    friend class Notice;
    void notify(Notice *n);
    void withdraw(Notice *n);
    void notified(Notice *n, uint id);
    void failed(Notice *n);

    MainLink &m_main;
    int m_tickMs;
    DesktopNotifications m_server;
    QHash<uint, QPointer<Notice>> m_shown; // by the server's notification id
    PopupWindows m_fallback;               // where the server refuses or is missing
};

} // namespace lckb
