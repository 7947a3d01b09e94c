// The entry procedure: refuse a second copy, settle the hosts and the server
// line, start the program.
#include "app/datafolder.h"
#include "app/hostsources.h"
#include "app/options.h"
#include "app/session.h"
#include "app/singleinstance.h"
#include "desktop/application.h"
#include "desktop/autostart.h"
#include "desktop/platform.h"
#include "mainwin/endsignals.h"
#include "mainwin/program.h"
#include "mainwin/starttrace.h"
#include "prefs/appicon.h"
#include "prefs/messagebox.h"
#include "windows/browserwindow.h"
#include "windows/bulletinpopup.h"

#include <QApplication>
#include <QNetworkProxyFactory>
#include <cstdio>

namespace {

// Qt's and the browser engine's reports are for developers: the GL set-up,
// a missing sound server, the sandbox. A user's terminal sees only what goes
// wrong for real, unless --verbose or LCKB_DEBUG=1 asks for everything.
void keepTerminalQuiet()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    });
    // The engine's own log goes to the terminal directly: fatal errors only.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --log-level=3").trimmed());
}

} // namespace

int main(int argc, char *argv[])
{
    lckb::startTrace();

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

    if (!opt.verbose)
        keepTerminalQuiet();

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
    lckb::setUpApplication(lckb::appIcon());

    lckb::SingleInstance instance;
    if (!instance.tryAcquire()) {
        lckb::openMessage(QMessageBox::Critical, lckb::kReminderTitle,
                          QStringLiteral("程序已经运行！在右下角，系统托盘区！"), QMessageBox::Ok, nullptr,
                          [](QMessageBox::StandardButton) { QCoreApplication::exit(0); });
        return app.exec();
    }

    QNetworkProxyFactory::setUseSystemConfiguration(true);

    const QString programDir = lckb::programFolder();
    const lckb::HostPlaces hostPlaces = lckb::HostPlaces::fromEnvironment(programDir);
    const lckb::HostChoice hosts = lckb::chooseHosts(opt.serverLines, hostPlaces);
    for (const QString &problem : hosts.problems)
        std::fprintf(stderr, "lckb: %s\n", problem.toLocal8Bit().constData());
    lckb::Session session(programDir, lckb::dataFolder(programDir));
    if (hosts.lines)
        session.serverLines = *hosts.lines;
    session.intervals.poll = opt.pollIntervalMs;
    session.recentFile = lckb::recentFile(programDir, session.dataDir());
    session.autostartFile = lckb::AutostartEntry::defaultFile();
    session.startCommand = QStringList{QCoreApplication::applicationFilePath()};
    if (!opt.hosts.isEmpty())
        session.startCommand << QStringLiteral("--hosts") << opt.hosts;
    session.choices.loadLineIndex();

    lckb::Program program(session);
    QObject::connect(&program, &lckb::Program::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &program, [&program] { program.endFromOutside(); });
    lckb::watchEndSignals(&program, [&program] { program.endFromOutside(); });
    lckb::traceProgram(program);
    program.start();
    program.window().show();
    // Without hosts the page and the polls fail as against a dead server;
    // the user is told once where the hosts go.
    if (!hosts.lines)
        lckb::openMessage(QMessageBox::Warning, lckb::kAppTitle, lckb::missingHostsMessage(hostPlaces),
                          QMessageBox::Ok, &program.window());
    const int rc = app.exec();
    // Windows without a parent that are still open (pop-ups, secondary
    // browsers) go before the main window and the browser profile.
    const QWidgetList left = QApplication::topLevelWidgets();
    for (QWidget *top : left)
        if (qobject_cast<lckb::BulletinPopup *>(top) || qobject_cast<lckb::BrowserWindow *>(top))
            delete top;
    return rc;
}
