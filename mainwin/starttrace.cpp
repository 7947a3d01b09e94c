#include "mainwin/starttrace.h"

#include "app/processclock.h"
#include "mainwin/program.h"
#include "windows/browser.h"

#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <cstdio>

namespace lckb {

namespace {
std::FILE *traceFile = nullptr; // open for the whole run
QElapsedTimer sinceMain;
qint64 atMain = 0;
} // namespace

void startTrace()
{
    const QByteArray path = qgetenv("LCKB_TRACE");
    if (path.isEmpty() || !(traceFile = std::fopen(path.constData(), "a")))
        return;
    sinceMain.start();
    atMain = processAgeMs();
    trace("start");
}

void trace(const char *event, const QByteArray &detail)
{
    if (!traceFile)
        return;
    std::fprintf(traceFile, "%lld %s%s%s\n", static_cast<long long>(atMain + sinceMain.elapsed()), event,
                 detail.isEmpty() ? "" : " ", detail.constData());
    std::fflush(traceFile);
}

void traceProgram(Program &p)
{
    if (!traceFile)
        return;
    MainWindow &w = p.window();
    const auto tracePage = [&w](SilentPage *page) {
        QObject::connect(
            page, &QWebEnginePage::loadFinished, &w, [](bool ok) { trace("page-loaded", ok ? "ok" : "failed"); },
            Qt::SingleShotConnection);
    };
    // Started in the tray, the page comes with the first opening.
    if (w.page())
        tracePage(w.page());
    else
        QObject::connect(&w, &MainWindow::pageMade, &w, tracePage, Qt::SingleShotConnection);
    QObject::connect(
        &w, &MainWindow::loginFilled, &w,
        [](const LoginFillResult &r) { trace("login-filled", "set=" + QByteArray::number(r.set)); },
        Qt::SingleShotConnection);
    QObject::connect(&p.poll(), &ReminderPoll::pollFinished, &w, [](PollOutcome o) {
        static const char *const names[] = {"busy", "fetch-failed", "markup", "empty", "unchanged", "compared"};
        trace("poll", names[int(o)]);
    });
    // The load step's last work is adding the tray icon; "docked" when a tray is there to hold it.
    QObject::connect(
        &p.tray(), &Tray::placed, &w,
        [] { trace("tray-shown", QSystemTrayIcon::isSystemTrayAvailable() ? "docked" : "no-tray"); },
        Qt::SingleShotConnection);
}

} // namespace lckb
