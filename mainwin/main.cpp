// The entry procedure: refuse a second copy, settle the server line, show the
// main window.
#include "form1.h"
#include "session.h"
#include "settings.h"
#include "startup.h"

#include <QApplication>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QSocketNotifier>
#include <csignal>
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
void watchEndSignals(lckb::Form1 &w)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *n = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &w);
    QObject::connect(n, &QSocketNotifier::activated, &w, [&w, n] {
        char c;
        [[maybe_unused]] const auto r = ::read(signalPipe[0], &c, 1);
        n->setEnabled(false);
        w.unloadFromOutside();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
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

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lckb"));
    QApplication::setApplicationVersion(QStringLiteral(LCKB_VERSION));
    // Message boxes that pass no title of their own show this one.
    QApplication::setApplicationDisplayName(QStringLiteral("澜策快报 LC6.1"));
    QApplication::setQuitOnLastWindowClosed(false); // the tray keeps the program alive

    lckb::SingleInstance instance;
    if (!instance.tryAcquire()) {
        QMessageBox::critical(nullptr, lckb::kReminderTitle, lckb::kAlreadyRunningText, QMessageBox::Ok);
        return 0;
    }

    QNetworkProxyFactory::setUseSystemConfiguration(true);

    lckb::Session session;
    session.ServerLine = opt.serverLines;
    session.intervals.poll = opt.pollIntervalMs;
    session.LineIndex = lckb::validLineIndex(
        lckb::parseLineIndex(lckb::ReadIni(QStringLiteral("config"), QStringLiteral("xianlu"), session.iniPath())));

    lckb::Form1 w(session);
    QObject::connect(&w, &lckb::Form1::ended, &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &w, [&w] { w.unloadFromOutside(); });
    watchEndSignals(w);
    w.Form_Load();
    w.show();
    return app.exec();
}
