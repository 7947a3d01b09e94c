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
    // Made once; from then on each bulletin adds its own entry.
    const QList<RecentBulletin> kept = m_recent.items();
    if (kept.isEmpty())
        m_menu->addAction(kNoneText)->setEnabled(false);
    for (const RecentBulletin &b : kept)
        m_menu->addAction(recentAction(b));
    // An entry of this run that is left over from before midnight gets its date.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayStatus::showDates);

    connect(&alerts, &Alerts::announced, this, [this](const Bulletin &b) {
        m_recent.add(b, m_main.session().clock->now());
        addRecent(m_recent.items().constFirst());
    });
    connect(&poll, &ReminderPoll::pollFinished, this, [this](PollOutcome outcome) {
        if (m_health.record(outcome, m_main.session().clock->now()))
            showHealth();
    });
}

QAction *TrayStatus::recentAction(const RecentBulletin &b)
{
    auto *a = new QAction(entryText(b, m_main.session().clock->now().date()), m_menu);
    // On the line in use at the click: a bulletin kept from an earlier run
    // may have come over another line.
    const QString path = b.bulletin.path;
    connect(a, &QAction::triggered, this, [this, path] { openBulletin(m_main, m_main.session().serverBase() + path); });
    return a;
}

void TrayStatus::addRecent(const RecentBulletin &b)
{
    if (!m_menu)
        return;
    const QList<QAction *> was = m_menu->actions();
    m_menu->insertAction(was.value(0), recentAction(b));
    // The placeholder, or the entry the list no longer holds, goes.
    if (!was.isEmpty() && (!was.first()->isEnabled() || was.size() >= RecentBulletins::kLimit))
        delete was.last();
}

void TrayStatus::showDates()
{
    const QList<QAction *> actions = m_menu->actions();
    const QList<RecentBulletin> items = m_recent.items();
    const QDate today = m_main.session().clock->now().date();
    for (qsizetype i = 0; i < actions.size() && i < items.size(); ++i)
        actions.at(i)->setText(entryText(items.at(i), today)); // the same text changes nothing
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
