#include "mainwin/tray.h"

#include "desktop/trayhost.h"
#include "prefs/appicon.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

namespace lckb {

const QString Tray::kTip = QStringLiteral("澜策快报+首席澜策宝");
const QString Tray::kRecentTitle = QStringLiteral("最近提醒");

Tray::Tray(QObject *parent)
    : QObject(parent)
    , m_menu(new QMenu)
    , m_tip(kTip)
    , m_image(appIcon())
{
    makeMenu();
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (!m_wanted || --m_retriesLeft < 0) {
            m_retry.stop();
            return;
        }
        if (available()) {
            m_icon->show();
            m_retry.stop();
        }
    });
}

void Tray::makeMenu()
{
    // Program connects the two commands and serves the autostart switch;
    // TrayStatus fills the recent bulletins.
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_show = m_menu->addAction(QStringLiteral("显示程序"));
    m_show->setObjectName(QStringLiteral("showAction"));
    m_recent = new QMenu(kRecentTitle, m_menu);
    m_recent->setObjectName(QStringLiteral("recentMenu"));
    m_menu->addMenu(m_recent)->setObjectName(QStringLiteral("recentAction"));
    m_autostart = m_menu->addAction(QStringLiteral("开机自动启动"));
    m_autostart->setObjectName(QStringLiteral("autostartAction"));
    m_autostart->setCheckable(true);
    m_quit = m_menu->addAction(QStringLiteral("关闭退出"));
    m_quit->setObjectName(QStringLiteral("quitAction"));
}

Tray::~Tray()
{
    delete m_menu;
}

bool Tray::available() const
{
    return m_probe ? m_probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

void Tray::add(int retryMs, int retryForMs, int settleMs)
{
    m_wanted = true;
    // The icon is made only once a tray that is still starting with the
    // session has had its moment: which kind of tray an icon goes to is
    // settled when the first one is made. The window does not wait for it.
    QPointer<Tray> self(this);
    whenTrayHostSettled(settleMs, [self, retryMs, retryForMs] {
        if (self && self->m_wanted)
            self->place(retryMs, retryForMs);
    });
}

void Tray::place(int retryMs, int retryForMs)
{
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(m_image, this);
        m_icon->setToolTip(m_tip);
        // The right button opens the menu; the left one brings the window back.
        m_icon->setContextMenu(m_menu);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger)
                emit leftClicked();
        });
    }
    // Shown even without a tray: the icon docks by itself when a tray appears.
    m_icon->show();
    if (!available() && retryMs > 0) {
        m_retriesLeft = retryForMs / retryMs;
        m_retry.start(retryMs);
    }
    emit placed();
}

void Tray::setTip(const QString &tip)
{
    m_tip = tip;
    if (m_icon)
        m_icon->setToolTip(tip);
}

void Tray::setImage(const QIcon &image)
{
    m_image = image;
    if (m_icon)
        m_icon->setIcon(image);
}

void Tray::remove()
{
    m_wanted = false;
    m_retry.stop();
    if (m_icon)
        m_icon->hide();
}

bool Tray::usable() const
{
    return m_wanted && m_icon && m_icon->isVisible() && available();
}

} // namespace lckb
