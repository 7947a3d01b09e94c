#pragma once
// The program put together: the main window, the reminder engine behind it
// (poll, pop-ups or notifications, sounds, running limit and what is said at
// its end), the tray with what it tells and its autostart switch, and the
// routing of the page's new windows. Made and wired here, so the main window
// stays a window.
#include "desktop/sleepwatch.h"
#include "mainwin/endnotice.h"
#include "mainwin/mainwindow.h"
#include "mainwin/router.h"
#include "mainwin/tray.h"
#include "mainwin/traystatus.h"
#include "reminder/alerts.h"
#include "reminder/reminderpoll.h"
#include "reminder/runlimit.h"

#include <QObject>
#include <memory>

namespace lckb {

class Program final : public QObject
{
    Q_OBJECT
public:
    // `player`: where sounds go (the system's audio output when null).
    explicit Program(Session &session, SoundPlayer *player = nullptr, QObject *parent = nullptr);
    ~Program() override;

    // The load steps, once: the page's new windows to the routing, the
    // window's own steps, the clean-up of the scratch folder, the poll, the
    // running limit, the tray icon. The window is shown by the caller.
    void start();

    // "关闭退出" on the window: remove the icon, close every window, end.
    void quitFromWindow() { endRun(true, true); }
    // "关闭退出" in the tray menu: remove the icon, end at once.
    void quitFromTray() { endRun(true, false); }
    // An end that comes from outside (session end, SIGTERM): close every window, end.
    void endFromOutside() { endRun(false, true); }
    // No source gave the hosts: where they go, in the page area and once in
    // a message.
    void tellMissingHosts(const QString &where);

    MainWindow &window() { return m_window; }
    Tray &tray() { return m_tray; }
    Alerts &alerts() { return m_alerts; }
    ReminderPoll &poll() { return m_poll; }
    RunLimit &runLimit() { return m_runLimit; }
    EndNotice &endNotice() { return m_endNotice; }

signals:
    // The whole run is over (quit, running limit, end from outside).
    void ended();

private:
    void endRun(bool removeIcon, bool closeWindows);
    // "开机自动启动" in the tray menu: shown as the entry is, switched on a click.
    void serveAutostart();

    // Made in this order and gone in reverse, each part deleting the windows
    // it opened: the routing its secondary windows and the pop-up host its
    // pop-ups before the main window they hold, which deletes its page and
    // its form. Every page goes before the browser profile, which the
    // application object owns.
    Session &m_session;
    std::unique_ptr<SoundPlayer> m_ownPlayer;
    MainWindow m_window;
    Tray m_tray;
    std::unique_ptr<PopupHost> m_popups;
    Alerts m_alerts;
    ReminderPoll m_poll;
    RunLimit m_runLimit;
    NewWindowRouter m_router;
    TrayStatus m_trayStatus;
    EndNotice m_endNotice;
    SleepWatch m_sleep;
    bool m_started = false;
    bool m_ended = false;
};

} // namespace lckb
