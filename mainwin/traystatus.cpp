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

    connect(&alerts, &Alerts::announced, this, [this](const PopupData &d) {
        m_recent.add(d, m_main.session().clock->now());
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
    // Twenty entries, made once: the placeholder first and the rest hidden.
    // A bulletin changes their texts and shows one more, never the layout: a
    // StatusNotifier host changes entries in place, where after a layout
    // update it builds the submenu anew (GNOME's closes an open one, Xfce's
    // grows a scroll arrow).
    if (m_menu->actions().isEmpty()) {
        for (int i = 0; i < RecentBulletins::kLimit; ++i) {
            connect(m_menu->addAction(QString()), &QAction::triggered, this, [this, i] {
                if (i < m_recent.items().size())
                    openBulletin(m_main, m_recent.items().at(i).url);
            });
        }
    }
    const QList<QAction *> entries = m_menu->actions();
    const QList<RecentBulletin> &items = m_recent.items();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QAction *a = entries.at(i);
        if (i < items.size()) {
            // The label is plain text; only '&' means something to a menu.
            QString text = items.at(i).label();
            text.replace(QLatin1Char('&'), QLatin1String("&&"));
            a->setText(text);
            a->setEnabled(true);
        } else if (i == 0) {
            a->setText(kNoneText);
            a->setEnabled(false);
        }
        a->setVisible(i < qMax(qsizetype(1), items.size()));
    }
}

void TrayStatus::showHealth()
{
    // No message and no sound: the tip says since when, the grey icon that
    // there is something to read.
    if (m_health.interrupted()) {
        if (m_greyedIcon.isNull())
            m_greyedIcon = appIconGreyed();
        m_tray.setTip(Tray::kTip + QLatin1Char('\n') + m_health.notice());
        m_tray.setImage(m_greyedIcon);
    } else {
        m_tray.setTip(Tray::kTip);
        m_tray.setImage(appIcon());
    }
}

} // namespace lckb
