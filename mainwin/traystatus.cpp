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

namespace {
QString entryText(const RecentBulletin &b, const QDate &today)
{
    // The label is plain text; only '&' means something to a menu.
    QString text = b.label(today);
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}
} // namespace

const QString TrayStatus::kMenuTitle = QStringLiteral("最近提醒");
const QString TrayStatus::kNoneText = QStringLiteral("（暂无）");

TrayStatus::TrayStatus(Tray &tray, Alerts &alerts, ReminderPoll &poll, MainLink &main, QObject *parent)
    : QObject(parent)
    , m_tray(tray)
    , m_main(main)
    , m_menu(new QMenu(kMenuTitle, tray.menu()))
    , m_recent(main.session().recentFile)
{
    m_menu->setObjectName(QStringLiteral("recentMenu"));
    tray.menu()->insertMenu(tray.quitAction(), m_menu)->setObjectName(QStringLiteral("recentAction"));
    // Twenty entries, made once: a bulletin changes their texts and shows one
    // more, never the layout. A StatusNotifier host changes entries in place,
    // where after a layout update it builds the submenu anew (GNOME's closes
    // an open one, Xfce's grows a scroll arrow).
    for (int i = 0; i < RecentBulletins::kLimit; ++i) {
        connect(m_menu->addAction(QString()), &QAction::triggered, this, [this, i] {
            // On the line in use at the click: a bulletin kept from an
            // earlier run may have come over another line.
            if (i < m_recent.items().size())
                openBulletin(m_main, m_main.session().serverBase() + m_recent.items().at(i).bulletin.path);
        });
    }
    showRecent();
    // An entry of this run that is left over from before midnight gets its date.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayStatus::showRecent);

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
    const QList<QAction *> entries = m_menu->actions();
    const QList<RecentBulletin> &items = m_recent.items();
    const QDate today = m_main.session().clock->now().date();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QAction *a = entries.at(i);
        // The same text, state or visibility again changes nothing.
        if (i < items.size()) {
            a->setText(entryText(items.at(i), today));
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
    const bool off = m_health.interrupted();
    m_tray.setTip(off ? Tray::kTip + QLatin1Char('\n') + m_health.notice() : Tray::kTip);
    m_tray.setImage(appIcon(off));
}

} // namespace lckb
