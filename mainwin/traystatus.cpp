#include "mainwin/traystatus.h"

#include "app/session.h"
#include "mainwin/tray.h"
#include "prefs/appicon.h"
#include "prefs/messagebox.h"
#include "reminder/alerts.h"
#include "reminder/reminderpoll.h"
#include "windows/openbulletin.h"
#include "windows/mainlink.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

namespace lckb {

namespace {
// The label is plain text; each kind of tray reads marks of its own in it.
// A menu Qt draws (XEmbed) takes '&' for a mnemonic mark and "&&" for one
// '&'. A menu Qt exports over D-Bus (StatusNotifier) turns the first '&' into
// the dbusmenu mark '_' and passes the rest as they are; there '_' is the
// mark and "__" one underscore. So there only the first '&' is doubled: its
// pair becomes "_&", one '&' shown.
QString entryText(const RecentBulletin &b, const QDate &today, bool overDBus)
{
    QString text = b.label(today);
    if (!overDBus)
        return text.replace(QLatin1Char('&'), QLatin1String("&&"));
    text.replace(QLatin1Char('_'), QLatin1String("__"));
    if (const qsizetype amp = text.indexOf(QLatin1Char('&')); amp >= 0)
        text.insert(amp, QLatin1Char('&'));
    return text;
}
} // namespace

const QString TrayStatus::kNoneText = QStringLiteral("（暂无）");

TrayStatus::TrayStatus(Tray &tray, Alerts &alerts, ReminderPoll &poll, MainLink &main, QObject *parent)
    : QObject(parent)
    , m_tray(tray)
    , m_main(main)
    , m_menu(tray.recentMenu())
{
    // Twenty entries, made once: a bulletin changes their texts and shows one
    // more, never the layout. A StatusNotifier host changes entries in place,
    // where after a layout update it builds the submenu anew (GNOME's closes
    // an open one, Xfce's grows a scroll arrow).
    for (int i = 0; i < RecentBulletins::kLimit; ++i) {
        connect(m_menu->addAction(QString()), &QAction::triggered, this, [this, i] {
            // On the line in use at the click: a bulletin kept from an
            // earlier run may have come over another line.
            const QList<RecentBulletin> items = recent().items();
            if (i < items.size())
                openBulletin(m_main, m_main.session().serverBase() + items.at(i).bulletin.path);
        });
    }
    showRecent();
    // Read when opened; an entry of this run that is left over from before
    // midnight gets its date.
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        loadRecent();
        showRecent();
    });
    // Only once the icon is placed is it known whether the menu goes over D-Bus.
    connect(&tray, &Tray::placed, this, &TrayStatus::showRecent);

    connect(&alerts, &Alerts::announced, this, [this](const Bulletin &b) {
        loadRecent();
        m_recent->add(b, m_main.session().clock->now());
        showRecent();
    });
    connect(&poll, &ReminderPoll::pollFinished, this, [this](PollOutcome outcome) {
        if (m_health.record(outcome, m_main.session().clock->now()))
            showHealth();
    });
}

void TrayStatus::loadRecent()
{
    if (m_recent)
        return;
    m_recent.emplace(m_main.session().recentFile);
    showRecent();
    // A file of the last runs that could not be read was set aside, or stays
    // where it is for this run: the user is told once, at start.
    if (!m_recent->notice().isEmpty())
        openMessage(QMessageBox::Warning, kAppTitle, m_recent->notice(), QMessageBox::Ok);
}

void TrayStatus::showRecent()
{
    if (!m_menu)
        return;
    const QList<QAction *> entries = m_menu->actions();
    // Before the file is read: only "（暂无）", as with an empty list.
    const QList<RecentBulletin> items = m_recent ? m_recent->items() : QList<RecentBulletin>();
    const QDate today = m_main.session().clock->now().date();
    // Qt gives the menu a platform menu of its own only to export it over D-Bus.
    const bool overDBus = m_menu->platformMenu() != nullptr;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QAction *a = entries.at(i);
        // The same text, state or visibility again changes nothing.
        if (i < items.size()) {
            a->setText(entryText(items.at(i), today, overDBus));
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
