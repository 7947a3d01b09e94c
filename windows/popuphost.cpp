#include "windows/popuphost.h"

#include "windows/bulletinpopup.h"
#include "windows/mainlink.h"
#include "windows/notificationhost.h"

#include <QDBusConnection>
#include <QGuiApplication>

namespace lckb {

PopupHost::PopupHost(MainLink &main, int tickMs)
    : MainWindowAlertHost(main)
    , m_tickMs(tickMs)
{
}

bool MainWindowAlertHost::mainWindowVisible() const
{
    return m_main.mainWindowVisible();
}

bool MainWindowAlertHost::mainWindowIsActive() const
{
    return m_main.mainWindowIsActive();
}

void MainWindowAlertHost::minimizeMainWindow()
{
    m_main.minimizeMainWindow();
}

QObject *PopupHost::createPopup(const PopupData &d)
{
    // No parent: a pop-up is a window of its own and deletes itself when closed.
    return new BulletinPopup(m_main, d, m_tickMs);
}

void PopupHost::showPopup(QObject *popup)
{
    if (auto *w = qobject_cast<QWidget *>(popup))
        w->show();
}

void PopupHost::closePopup(QObject *popup)
{
    if (auto *w = qobject_cast<QWidget *>(popup))
        w->close();
}

std::unique_ptr<AlertHost> makeAlertHost(MainLink &main, int tickMs)
{
    // A Wayland window cannot place itself; a notification finds its place.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
        && QDBusConnection::sessionBus().isConnected())
        return std::make_unique<NotificationHost>(main, tickMs);
    return std::make_unique<PopupHost>(main, tickMs);
}

} // namespace lckb
