#pragma once
// What the tray tells besides its commands: the "最近提醒" submenu with the
// bulletins announced (this run's and those kept from earlier runs), and in
// the tip and the icon whether
// the reminder still gets through. Both live in the tray icon's own menu and
// tip, so they reach an XEmbed tray and a StatusNotifier host alike.
#include "reminder/pollhealth.h"
#include "reminder/recentbulletins.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <optional>

class QAction;
class QMenu;

namespace lckb {

class Alerts;
class MainLink;
class ReminderPoll;
class Tray;

class TrayStatus final : public QObject
{
    Q_OBJECT
public:
    static const QString kNoneText; // "（暂无）"

    // Makes the "最近提醒" submenu of `tray`'s menu, and follows the alerts
    // and the poll from now on. The arrival and failure times come from the
    // session's clock.
    TrayStatus(Tray &tray, Alerts &alerts, ReminderPoll &poll, MainLink &main, QObject *parent = nullptr);

    // Reads the session's recent file into the submenu, once: after the
    // first page, or sooner when the menu opens or a bulletin comes.
    void loadRecent();
    const RecentBulletins &recent()
    {
        loadRecent();
        return *m_recent;
    }

private:
    void showRecent();
    void showHealth();

    Tray &m_tray;
    MainLink &m_main;
    QPointer<QMenu> m_menu; // the tray's "最近提醒"
    std::optional<RecentBulletins> m_recent; // read by loadRecent()
    PollHealth m_health;
};

} // namespace lckb
