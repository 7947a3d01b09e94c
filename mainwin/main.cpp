// The entry procedure: the options, the terminal, the platform and the
// application object, one copy only, the session, the program, the run.
#include "app/singleinstance.h"
#include "app/startup.h"
#include "desktop/application.h"
#include "desktop/autostart.h"
#include "mainwin/endsignals.h"
#include "mainwin/program.h"
#include "mainwin/starttrace.h"
#include "mainwin/terminal.h"
#include "prefs/appicon.h"
#include "prefs/messagebox.h"

int main(int argc, char *argv[])
{
    lckb::startTrace();
    // Options first, so --help and --version work without a display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const lckb::Options opt = lckb::parseOptions(args);
    if (opt.exitNow || !opt.ok)
        return lckb::answerOptions(opt);
    if (!opt.verbose)
        lckb::keepTerminalQuiet();
    const std::unique_ptr<QApplication> app = lckb::makeApplication(argc, argv, args);
    lckb::setUpApplication(lckb::appIcon()); // the icon is drawn once the application is there

    lckb::SingleInstance instance;
    if (!instance.tryAcquire()) {
        lckb::openMessage(QMessageBox::Critical, lckb::kReminderTitle,
                          QStringLiteral("程序已经运行！在右下角，系统托盘区！"), QMessageBox::Ok, nullptr,
                          [](QMessageBox::StandardButton) { QCoreApplication::exit(0); });
        return app->exec();
    }

    const lckb::HostPlaces places = lckb::HostPlaces::fromEnvironment(lckb::programFolder());
    lckb::SessionStart start = lckb::startSession(opt, places, lckb::AutostartEntry::defaultFile(),
                                                  QCoreApplication::applicationFilePath());
    for (const QString &problem : start.hostProblems)
        lckb::complain(problem);

    // The program ends the run; on its way out it closes and deletes the
    // windows it opened, before the application object and the browser profile.
    lckb::Program program(start.session);
    QObject::connect(
        &program, &lckb::Program::ended, app.get(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    const auto endFromOutside = [&program] { program.endFromOutside(); };
    QObject::connect(app.get(), &QGuiApplication::commitDataRequest, &program, endFromOutside);
    lckb::watchEndSignals(&program, endFromOutside);
    lckb::traceProgram(program);
    program.start();
    if (!start.session.startInTray)
        program.window().show();
    if (!start.missingHosts.isEmpty())
        program.tellMissingHosts(start.missingHosts);
    return app->exec();
}
