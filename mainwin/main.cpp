// The entry procedure: refuse a second copy, settle the server line, show the
// main window.
#include "app/processclock.h"
#include "app/session.h"
#include "app/startup.h"
#include "mainwin/mainwindow.h"
#include "mainwin/tray.h"
#include "prefs/appicon.h"
#include "reminder/reminderpoll.h"
#include "windows/browser.h"
#include "windows/browserwindow.h"
#include "windows/bulletinpopup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <csignal>
#include <memory>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM, SIGINT and SIGHUP end the run like a logout does: every window
// closes, then the program ends.
void watchEndSignals(lckb::MainWindow &w)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *n = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &w);
    QObject::connect(n, &QSocketNotifier::activated, &w, [&w, n] {
        char c;
        [[maybe_unused]] const auto r = ::read(signalPipe[0], &c, 1);
        n->setEnabled(false);
        w.endFromOutside();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

// Start-up trace for bench/run, off unless LCKB_TRACE names a file. Appends
// "<ms since process start> <event>" lines: start (main entered), tray-shown
// (the load step added the tray icon, then docked or no-tray), page-loaded
// (first loadFinished of the main page, then ok or failed), login-filled (the
// first run of the login fill, then set=<fields filled>) and poll (each
// finished poll, then its outcome). Time counts from the kernel's start time
// of the process, so the loading of the libraries before main counts too;
// bench/reference uses the same clock.
class Trace
{
public:
    Trace()
    {
        const QByteArray path = qgetenv("LCKB_TRACE");
        if (path.isEmpty())
            return;
        m_file = std::fopen(path.constData(), "a");
        if (!m_file)
            return;
        m_sinceMain.start();
        m_atMain = lckb::processAgeMs();
    }
    ~Trace()
    {
        if (m_file)
            std::fclose(m_file);
    }
    bool on() const { return m_file != nullptr; }
    void operator()(const char *event, const QByteArray &detail = {})
    {
        if (!m_file)
            return;
        std::fprintf(m_file, "%lld %s%s%s\n", static_cast<long long>(m_atMain + m_sinceMain.elapsed()), event,
                     detail.isEmpty() ? "" : " ", detail.constData());
        std::fflush(m_file);
    }

private:
    std::FILE *m_file = nullptr;
    QElapsedTimer m_sinceMain;
    qint64 m_atMain = 0;
};

const char *outcomeName(lckb::PollOutcome o)
{
    switch (o) {
    case lckb::PollOutcome::Busy: return "busy";
    case lckb::PollOutcome::FetchFailed: return "fetch-failed";
    case lckb::PollOutcome::Markup: return "markup";
    case lckb::PollOutcome::Empty: return "empty";
    case lckb::PollOutcome::Unchanged: return "unchanged";
    case lckb::PollOutcome::Compared: return "compared";
    }
    return "other";
}

} // namespace

int main(int argc, char *argv[])
{
    Trace trace;
    trace("start");

    // Options first, so --help and --version work without a display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const lckb::Options opt = lckb::parseOptions(args);
    if (opt.exitNow) {
        std::fputs(opt.message.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!opt.ok) {
        std::fprintf(stderr, "lckb: %s\n", opt.message.toLocal8Bit().constData());
        return 2;
    }

    // In a Wayland session with XWayland, XWayland: there the pop-ups can
    // place themselves. Asked for this process only, so that programs it
    // starts (the default browser) make their own choice.
    const QString platform = lckb::platformToRequest(lckb::platformContextFromEnvironment(args));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.toLatin1());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    lckb::setUpApplication();

    lckb::SingleInstance instance;
    if (!instance.tryAcquire()) {
        QMessageBox::critical(nullptr, lckb::kReminderTitle, lckb::kAlreadyRunningText, QMessageBox::Ok);
        return 0;
    }

    QNetworkProxyFactory::setUseSystemConfiguration(true);

    const QString programDir = lckb::programFolder();
    lckb::Session session(programDir, lckb::dataFolder(programDir));
    session.serverLines = opt.serverLines;
    session.intervals.poll = opt.pollIntervalMs;
    session.choices.loadLineIndex();

    lckb::MainWindow w(session);
    QObject::connect(&w, &lckb::MainWindow::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &w, [&w] { w.endFromOutside(); });
    watchEndSignals(w);
    if (trace.on()) {
        QObject::connect(
            w.page(), &QWebEnginePage::loadFinished, &w,
            [&trace](bool ok) { trace("page-loaded", ok ? "ok" : "failed"); }, Qt::SingleShotConnection);
        QObject::connect(
            &w, &lckb::MainWindow::loginFilled, &w,
            [&trace](const lckb::LoginFillResult &r) { trace("login-filled", "set=" + QByteArray::number(r.set)); },
            Qt::SingleShotConnection);
        QObject::connect(&w.poll(), &lckb::ReminderPoll::pollFinished, &w,
                         [&trace](lckb::PollOutcome o) { trace("poll", outcomeName(o)); });
        // The load step's last work is adding the tray icon; "docked" when a tray is there to hold it.
        QObject::connect(
            w.tray(), &lckb::Tray::placed, &w,
            [&trace] { trace("tray-shown", QSystemTrayIcon::isSystemTrayAvailable() ? "docked" : "no-tray"); },
            Qt::SingleShotConnection);
    }
    w.load();
    w.show();
    const int rc = app.exec();
    // Windows without a parent that are still open (pop-ups, secondary
    // browsers) go before the main window and the browser profile.
    const QWidgetList left = QApplication::topLevelWidgets();
    for (QWidget *top : left)
        if (qobject_cast<lckb::BulletinPopup *>(top) || qobject_cast<lckb::BrowserWindow *>(top))
            delete top;
    return rc;
}
