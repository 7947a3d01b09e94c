#include "mainwin/traystatus.h"

#include "app/session.h"
#include "mainwin/tray.h"
#include "prefs/appicon.h"
#include "reminder/alerts.h"
#include "reminder/reminderpoll.h"
#include "windows/bulletinpopup.h"
#include "windows/mainlink.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

namespace lckb {

const QString TrayStatus::kMenuTitle = QStringLiteral("最近提醒");
const QString TrayStatus::kNoneText = QStringLiteral("（暂无）");

TrayStatus::TrayStatus(Tray &tray, Alerts &alerts, ReminderPoll &poll, MainLink &main, QObject *parent)
    : QObject(parent)
    , m_tray(tray)
    , m_main(main)
    , m_menu(new QMenu(kMenuTitle, tray.menu()))
{
    m_menu->setObjectName(QStringLiteral("recentMenu"));
    tray.menu()->insertMenu(tray.quitAction(), m_menu)->setObjectName(QStringLiteral("recentAction"));
    showRecent();

    connect(&alerts, &Alerts::announced, this, [this](const Bulletin &b) {
        m_recent.add(b, m_main.session().clock->now());
        showRecent();
    });
    connect(&poll, &ReminderPoll::pollFinished, this, [this](PollOutcome outcome) {
        if (m_health.record(outcome, m_main.session().clock->now()))
            showHealth();
    });
}

void TrayStatus::showRecent()
{
    if (!m_menu)
        return;
    // Rebuilt whole: twenty entries at most, once per pop-up.
    m_menu->clear();
    if (m_recent.items().isEmpty()) {
        m_menu->addAction(kNoneText)->setEnabled(false);
        return;
    }
    for (const RecentBulletin &b : m_recent.items()) {
        // The label is plain text; only '&' means something to a menu.
        QString text = b.label();
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
        const QString url = b.bulletin.url;
        connect(m_menu->addAction(text), &QAction::triggered, this, [this, url] { openBulletin(m_main, url); });
    }
}

void TrayStatus::showHealth()
{
    // No message and no sound: the tip says since when, the grey icon that
    // there is something to read.
    const bool off = m_health.interrupted();
    m_tray.setTip(off ? Tray::kTip + QLatin1Char('\n') + m_health.notice() : Tray::kTip);
    m_tray.setImage(appIcon(off));
}

} // namespace lckb
