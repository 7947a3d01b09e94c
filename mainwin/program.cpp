#include "mainwin/program.h"

#include "app/session.h"
#include "desktop/autostart.h"
#include "prefs/messagebox.h"
#include "reminder/scratchfolder.h"
#include "reminder/sound.h"
#include "windows/browser.h"
#include "windows/notificationhost.h"
#include "windows/popuphost.h"

#include <QAction>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

namespace lckb {

namespace {

constexpr int kLateLoadMs = 10000; // what waits for the first page waits no longer than this

std::unique_ptr<PopupHost> popupHostFor(MainLink &main, int tickMs)
{
    // A Wayland window cannot place itself; a notification finds its place.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
        && QDBusConnection::sessionBus().isConnected())
        return std::make_unique<NotificationHost>(main, tickMs);
    return std::make_unique<PopupWindows>(main, tickMs);
}

} // namespace

Program::Program(Session &session, SoundPlayer *player, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_ownPlayer(player ? nullptr : std::make_unique<EffectPlayer>())
    , m_window(session)
    , m_popups(popupHostFor(m_window, session.intervals.popupTick))
    , m_alerts(*m_popups, m_window, player ? *player : *m_ownPlayer)
    , m_poll(session, m_alerts)
    , m_runLimit(session.clock, session.intervals.runLimit)
    , m_router(session.intervals.systemBrowserGap)
    , m_trayStatus(m_tray, m_alerts, m_poll, m_window)
    , m_endNotice(m_tray)
{
    m_window.setTrayUsable([this] { return m_tray.usable(); });
    connect(&m_window, &MainWindow::quitClicked, this, &Program::quitFromWindow);
    connect(&m_tray, &Tray::leftClicked, &m_window, &MainWindow::restoreAndShow);
    // Started in the tray where there turns out to be none: the task bar
    // instead, so the user can reach the window.
    connect(&m_tray, &Tray::placed, this, [this] {
        if (m_session.startInTray && !m_tray.usable() && m_window.isHidden())
            m_window.showMinimized();
    });
    connect(m_tray.showAction(), &QAction::triggered, &m_window, &MainWindow::showFromTrayMenu);
    connect(m_tray.quitAction(), &QAction::triggered, this, &Program::quitFromTray);
    serveAutostart();
    connect(&m_poll, &ReminderPoll::pollFinished, &m_window, &MainWindow::pollEnded);
    // Back from a suspend, the poll's timer would still wait out the rest of
    // its interval: what came meanwhile is asked for at once.
    connect(&m_sleep, &SleepWatch::woke, &m_poll, &ReminderPoll::pollNow);
    // The reminders stop at once; the end follows what the user is told of
    // it, without the window's closing steps, and the icon goes first so no
    // dead icon stays in the tray.
    connect(&m_runLimit, &RunLimit::limitReached, this, [this] {
        m_window.stopLoginFill();
        m_poll.stop();
        m_endNotice.show([this] { endRun(true, false); });
    });
}

void Program::serveAutostart()
{
    QAction *item = m_tray.autostartAction();
    const auto entry = [this] {
        QStringList command = m_session.startCommand;
        if (command.isEmpty())
            command << QCoreApplication::applicationFilePath();
        // A login puts no window in front of the user: into the tray.
        if (!command.contains(QLatin1String("--tray")))
            command << QStringLiteral("--tray");
        return AutostartEntry(m_session.autostartFile, command);
    };
    // Shown as the file is now: the desktop's own settings may have changed it.
    const auto show = [this, item, entry] {
        item->setEnabled(!m_session.autostartFile.isEmpty());
        item->setChecked(item->isEnabled() && entry().enabled());
    };
    show();
    connect(m_tray.menu(), &QMenu::aboutToShow, this, show);
    connect(item, &QAction::triggered, this, [this, entry, show](bool on) {
        const AutostartEntry e = entry();
        QString why;
        if (!(on ? e.enable(&why) : e.disable(&why)))
            openMessage(QMessageBox::Warning, kAppTitle, why, QMessageBox::Ok);
        show();
    });
}

Program::~Program() = default;

void Program::start()
{
    if (m_started)
        return;
    m_started = true;
    // The browser never opens a window of its own.
    const auto routeFrom = [this](SilentPage *page) {
        connect(page, &QWebEnginePage::newWindowRequested, &m_router, &NewWindowRouter::route);
    };
    if (m_window.page())
        routeFrom(m_window.page());
    connect(&m_window, &MainWindow::pageMade, this, routeFrom);
    // A secondary window in use may still talk to the page that opened it.
    m_window.setRestHold([this] { return m_router.openWindows() > 0; });
    m_window.load();
    clearScratchFolder(m_session.dataDir());
    m_poll.start();
    m_runLimit.start();
    m_tray.add(m_session.intervals.trayRetry);
    // What the first page does not need comes after it: the recent file
    // (sooner when the menu opens or a bulletin comes; at the latest after a
    // while, so that a file set aside is told of without a page).
    if (const auto *page = m_window.page())
        connect(page, &QWebEnginePage::loadFinished, &m_trayStatus, &TrayStatus::loadRecent,
                Qt::SingleShotConnection);
    QTimer::singleShot(kLateLoadMs, &m_trayStatus, &TrayStatus::loadRecent);
}

void Program::tellMissingHosts(const QString &where)
{
    m_window.showPageNotice(where);
    openMessage(QMessageBox::Warning, kAppTitle, where, QMessageBox::Ok, &m_window);
}

void Program::endRun(bool removeIcon, bool closeWindows)
{
    if (m_ended)
        return;
    m_ended = true;
    if (removeIcon)
        m_tray.remove();
    if (closeWindows)
        m_window.closeAllWindows();
    m_window.stopLoginFill();
    m_poll.stop();
    m_runLimit.stop();
    emit ended();
}

} // namespace lckb
