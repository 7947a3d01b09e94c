#include "mainwin/program.h"

#include "app/session.h"
#include "reminder/scratchfolder.h"
#include "reminder/sound.h"
#include "windows/browser.h"
#include "windows/notificationhost.h"
#include "windows/popuphost.h"

#include <QAction>
#include <QDBusConnection>
#include <QGuiApplication>

namespace lckb {

namespace {

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
{
    m_window.setTrayUsable([this] { return m_tray.usable(); });
    connect(&m_window, &MainWindow::quitClicked, this, &Program::quitFromWindow);
    connect(&m_tray, &Tray::leftClicked, &m_window, &MainWindow::showFromTrayIcon);
    connect(m_tray.showAction(), &QAction::triggered, &m_window, &MainWindow::showFromTrayMenu);
    connect(m_tray.quitAction(), &QAction::triggered, this, &Program::quitFromTray);
    // Ends without a message and without the window's closing steps; the
    // icon goes first so no dead icon stays in the tray.
    connect(&m_runLimit, &RunLimit::limitReached, this, [this] { endRun(true, false); });
}

Program::~Program() = default;

void Program::start()
{
    if (m_started)
        return;
    m_started = true;
    // The browser never opens a window of its own.
    connect(m_window.page(), &QWebEnginePage::newWindowRequested, &m_router, &NewWindowRouter::route);
    m_window.load();
    clearScratchFolder(m_session.dataDir());
    m_poll.start();
    m_runLimit.start();
    m_tray.add(m_session.intervals.trayRetry);
}

void Program::endRun(bool removeIcon, bool closeWindows)
{
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
