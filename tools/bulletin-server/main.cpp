// lckb-sim: the bulletin-service simulator as a process, for scripts and the
// demo. Prints "listening http://HOST:PORT" per port before anything else.
#include "bulletinserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFd[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalFd[1], &c, 1);
}

int fail(const QString &message)
{
    fprintf(stderr, "lckb-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lckb-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LCKB_VERSION));

    QCommandLineParser cl;
    cl.setApplicationDescription(QStringLiteral(
        "Simulates the bulletin service: main page, login frame, reminder reply "
        "(/nc/tx.asp), bulletin pages and the quote-site pages. Logs one line per "
        "request: time, port, method, target, body."));
    cl.addHelpOption();
    cl.addVersionOption();
    const QCommandLineOption port({QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("Listen on <port>; repeat for several server lines; 0 picks a free port "
                       "(default: one free port)."), QStringLiteral("port"));
    const QCommandLineOption host(QStringLiteral("host"),
        QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("address"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption interval(QStringLiteral("interval"),
        QStringLiteral("Live mode: a new bulletin on a random channel every <seconds> "
                       "(fractions allowed; 0 = never; default 20)."), QStringLiteral("seconds"),
        QStringLiteral("20"));
    const QCommandLineOption seed(QStringLiteral("seed"),
        QStringLiteral("Seed of the generated titles and channels (default 20261)."),
        QStringLiteral("n"));
    const QCommandLineOption scenario(QStringLiteral("scenario"),
        QStringLiteral("Serve the reminder replies scripted in <file> (see README.md)."),
        QStringLiteral("file"));
    const QCommandLineOption step(QStringLiteral("step"),
        QStringLiteral("Advance the scenario every <seconds> instead of per request; "
                       "overrides the file's 'advance' line."), QStringLiteral("seconds"));
    const QCommandLineOption fault(QStringLiteral("fault"),
        QStringLiteral("Answer every reminder request with a fault: hang, reset, drip[:ms], "
                       "html, 404, 500, status:code, large[:size, e.g. 50M], badgbk, redirect."),
        QStringLiteral("fault"));
    const QCommandLineOption frames(QStringLiteral("frames"),
        QStringLiteral("Frames of the main page: 3, 4 or 5 (default 4)."), QStringLiteral("n"),
        QStringLiteral("4"));
    const QCommandLineOption mainDelay(QStringLiteral("main-delay"),
        QStringLiteral("Hold the main page's answer for <ms> milliseconds (default 0)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption log(QStringLiteral("log"),
        QStringLiteral("Write the request log to <file> instead of standard output."),
        QStringLiteral("file"));
    cl.addOptions({port, host, interval, seed, scenario, step, fault, frames, mainDelay, log});
    cl.process(app);

    lckb::sim::BulletinServer server;

    bool ok = false;
    const int frameCount = cl.value(frames).toInt(&ok);
    if (!ok || frameCount < 3 || frameCount > 5)
        return fail(QStringLiteral("--frames must be 3, 4 or 5"));
    server.setFrameCount(frameCount);
    const int delay = cl.value(mainDelay).toInt(&ok);
    if (!ok || delay < 0)
        return fail(QStringLiteral("--main-delay needs milliseconds"));
    server.setMainPageDelay(delay);

    if (cl.isSet(seed)) {
        const uint s = cl.value(seed).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("--seed needs a number"));
        server.setSeed(s);
    }
    const double live = cl.value(interval).toDouble(&ok);
    if (!ok || live < 0)
        return fail(QStringLiteral("--interval needs seconds"));
    server.setLiveInterval(qRound(live * 1000));

    if (cl.isSet(scenario) && cl.isSet(fault))
        return fail(QStringLiteral("--scenario and --fault exclude each other"));
    if (cl.isSet(step) && !cl.isSet(scenario))
        return fail(QStringLiteral("--step goes with --scenario"));
    if (cl.isSet(scenario)) {
        QFile f(cl.value(scenario));
        if (!f.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(f.fileName()));
        lckb::sim::ParseError err;
        auto sc = lckb::sim::parseScenario(QString::fromUtf8(f.readAll()), &err);
        if (!sc)
            return fail(QStringLiteral("%1:%2: %3").arg(f.fileName()).arg(err.line).arg(err.message));
        if (cl.isSet(step)) {
            const double s = cl.value(step).toDouble(&ok);
            if (!ok || s <= 0)
                return fail(QStringLiteral("--step needs seconds > 0"));
            sc->stepMs = qMax(1, qRound(s * 1000));
        }
        server.setScenario(*sc);
    } else if (cl.isSet(fault)) {
        QString why;
        const auto f = lckb::sim::parseFault(cl.value(fault), &why);
        if (!f)
            return fail(QStringLiteral("--fault: %1").arg(why));
        server.setFault(*f);
    }

    QList<quint16> ports;
    for (const QString &p : cl.values(port)) {
        const uint n = p.toUInt(&ok);
        if (!ok || n > 65535)
            return fail(QStringLiteral("bad port '%1'").arg(p));
        ports << quint16(n);
    }
    if (ports.isEmpty())
        ports << 0;
    const QHostAddress address(cl.value(host));
    if (address.isNull())
        return fail(QStringLiteral("bad address '%1'").arg(cl.value(host)));
    if (!server.listen(ports, address))
        return fail(server.errorString());

    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    for (int i = 0; i < server.ports().size(); ++i)
        out.write("listening " + server.baseUrl(i).toUtf8() + '\n');
    out.flush();

    QFile logFile;
    if (cl.isSet(log)) {
        logFile.setFileName(cl.value(log));
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append))
            return fail(QStringLiteral("cannot write %1").arg(logFile.fileName()));
        server.setLogDevice(&logFile);
    } else {
        server.setLogDevice(&out);
    }

    // SIGTERM and SIGINT end the event loop through a socket pair, the only
    // safe way out of a signal handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFd) != 0)
        return fail(QStringLiteral("socketpair failed"));
    QSocketNotifier notifier(g_signalFd[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    return app.exec();
}
