#include "mainwin/endnotice.h"

#include "desktop/notifications.h"
#include "desktop/trayhost.h"
#include "mainwin/tray.h"
#include "prefs/messagebox.h"
#include "reminder/runlimit.h"

#include <QDBusConnection>
#include <QSystemTrayIcon>

namespace lckb {

const QString EndNotice::kText =
    QStringLiteral("澜策快报已连续运行%1小时，已自动退出，请重新启动以继续接收提醒。").arg(RunLimit::kDefaultLimitMinutes / 60);

namespace {
constexpr int kNotifyLimitMs = 3000; // the notification server's time to answer
}

EndNotice::EndNotice(Tray &tray, QObject *parent)
    : QObject(parent)
    , m_tray(tray)
{
    m_messageTimer.setSingleShot(true);
    m_messageTimer.setInterval(10000);
    connect(&m_messageTimer, &QTimer::timeout, this, &EndNotice::finish);
}

void EndNotice::show(std::function<void()> done)
{
    if (m_shown)
        return;
    m_shown = true;
    m_done = std::move(done);
    QDBusConnection bus = m_busName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_busName);
    if (!bus.isConnected()) {
        showInTray();
        return;
    }
    DesktopNotification note;
    note.summary = kAppTitle;
    note.body = kText;
    note.expireMs = 0; // never: the user may be away for hours and should find it
    auto *server = new DesktopNotifications(bus, this);
    server->notify(note, kNotifyLimitMs, this, [this](std::optional<uint> id) {
        if (id)
            finish(); // the server keeps it
        else
            showInTray();
    });
}

void EndNotice::showInTray()
{
    // A StatusNotifier tray shows its messages through the notification
    // server that has just failed; only a tray of Qt's own drawing can.
    if (!m_tray.usable() || !QSystemTrayIcon::supportsMessages() || statusNotifierHostReady()) {
        finish();
        return;
    }
    connect(m_tray.icon(), &QSystemTrayIcon::messageClicked, this, &EndNotice::finish);
    m_tray.icon()->showMessage(kAppTitle, kText, QSystemTrayIcon::Information, m_messageTimer.interval());
    m_messageTimer.start();
}

void EndNotice::finish()
{
    m_messageTimer.stop();
    if (auto done = std::exchange(m_done, nullptr))
        done();
}

} // namespace lckb
