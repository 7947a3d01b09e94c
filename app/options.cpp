#include "app/options.h"

#include "app/hostsources.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace lckb {

Options parseOptions(const QStringList &arguments)
{
    Options o;
    QCommandLineParser p;
    if (QCoreApplication::applicationName().isEmpty())
        QCoreApplication::setApplicationName(QStringLiteral("lckb"));
    const QString builtIn = builtInHosts();
    p.setApplicationDescription(
        QStringLiteral("澜策快报: bulletins of the subscription service in the tray, with pop-ups and sounds.\n\n"
                       "The hosts of the server lines come from the first of these that gives them:\n"
                       "  --hosts HOST0,HOST1,HOST2\n"
                       "  lines.ini beside the program\n"
                       "  $XDG_CONFIG_HOME/lckb/lines.ini (~/.config/lckb/lines.ini)\n"
                       "  lckb/lines.ini under each of $XDG_CONFIG_DIRS (/etc/xdg/lckb/lines.ini)\n"
                       "  the hosts built in: %1\n"
                       "A lines.ini holds:\n"
                       "  [lines]\n"
                       "  line0=host[:port]\n"
                       "  line1=host[:port]\n"
                       "  line2=host[:port]\n"
                       "A file with a bad or missing entry is ignored, with a message.")
            .arg(builtIn.isEmpty() ? QStringLiteral("none in this build") : builtIn));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption hosts(
        QStringLiteral("hosts"),
        QStringLiteral("The service's three hosts, each host[:port], comma-separated (lines 0 to 2; "
                       "line 3 is host 0 on port 803). Without it, from lines.ini (above)."),
        QStringLiteral("HOST0,HOST1,HOST2"));
    const QCommandLineOption poll(
        QStringLiteral("poll-interval"),
        QStringLiteral("Seconds between two reminder polls (default 30; for demonstrations)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption tray(
        QStringLiteral("tray"),
        QStringLiteral("Start in the tray: no window and no browser engine until the window or a bulletin "
                       "is opened (tray icon, 显示程序, a pop-up, 最近提醒). 开机自动启动 starts so."));
    const QCommandLineOption restAfter(
        QStringLiteral("rest-after"),
        QStringLiteral("Seconds the service page may stay out of sight (window minimised or in the tray) "
                       "before it is discarded to free its memory (default 600); it loads again, with the "
                       "login typed in, when the window comes back. Out of sight for a few seconds it is "
                       "already frozen."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Let Qt and the browser engine report to the terminal (as LCKB_DEBUG=1 does)."));
    // Qt's own -platform NAME stays on the command line for the application
    // object; single-dash words are options of their own, as Qt reads them.
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QCommandLineOption platform(QStringLiteral("platform"), QString(), QStringLiteral("NAME"));
    platform.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(help);
    p.addOption(version);
    p.addOption(platform);
    p.addOption(hosts);
    p.addOption(poll);
    p.addOption(tray);
    p.addOption(restAfter);
    p.addOption(verbose);
    if (!p.parse(arguments)) {
        o.ok = false;
        o.message = p.errorText();
        return o;
    }
    if (p.isSet(help)) {
        o.exitNow = true;
        o.message = p.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("lckb"));
        return o;
    }
    if (p.isSet(version)) {
        o.exitNow = true;
        o.message = QStringLiteral("lckb %1\n").arg(QStringLiteral(LCKB_VERSION));
        return o;
    }
    if (!p.positionalArguments().isEmpty()) {
        o.ok = false;
        o.message = QStringLiteral("unexpected argument: %1").arg(p.positionalArguments().first());
        return o;
    }
    if (p.isSet(hosts)) {
        const auto t = makeServerLines(p.value(hosts).split(u','));
        if (!t) {
            o.ok = false;
            o.message = QStringLiteral("--hosts wants three entries host[:port], comma-separated");
            return o;
        }
        o.serverLines = t;
        o.hosts = p.value(hosts);
    }
    o.verbose = p.isSet(verbose) || qEnvironmentVariable("LCKB_DEBUG") == u"1";
    o.startInTray = p.isSet(tray);
    if (p.isSet(restAfter)) {
        bool ok = false;
        const double s = p.value(restAfter).toDouble(&ok);
        if (!ok || s < 0 || s > 86400) {
            o.ok = false;
            o.message = QStringLiteral("--rest-after wants a number of seconds");
            return o;
        }
        o.restAfterMs = int(s * 1000);
    }
    if (p.isSet(poll)) {
        bool ok = false;
        const double s = p.value(poll).toDouble(&ok);
        if (!ok || s < 0.05 || s > 86400) {
            o.ok = false;
            o.message = QStringLiteral("--poll-interval wants a number of seconds");
            return o;
        }
        o.pollIntervalMs = int(s * 1000);
    }
    return o;
}

} // namespace lckb
