#include "mainwin/tray.h"

#include "prefs/appicon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace lckb {

const QString Tray::kTip = QStringLiteral("澜策快报+首席澜策宝");

Tray::Tray(QObject *parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(appIcon(), this))
    , m_menu(new QMenu)
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_show = m_menu->addAction(QStringLiteral("显示程序"));
    m_show->setObjectName(QStringLiteral("showAction"));
    m_quit = m_menu->addAction(QStringLiteral("关闭退出"));
    m_quit->setObjectName(QStringLiteral("quitAction"));
    m_icon->setToolTip(kTip);
    // The right button opens the menu; the left one brings the window back.
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger)
            emit leftClicked();
    });
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

Tray::~Tray()
{
    delete m_menu;
}

bool Tray::available() const
{
    return m_probe ? m_probe() : QSystemTrayIcon::isSystemTrayAvailable();
}

void Tray::add(int retryMs, int retryForMs)
{
    m_wanted = true;
    // Shown even without a tray: the icon docks by itself when a tray appears.
    m_icon->show();
    if (!available() && retryMs > 0) {
        m_retriesLeft = retryForMs / retryMs;
        m_retry.start(retryMs);
    }
}

void Tray::remove()
{
    m_wanted = false;
    m_retry.stop();
    m_icon->hide();
}

bool Tray::usable() const
{
    return m_wanted && m_icon->isVisible() && available();
}

} // namespace lckb
