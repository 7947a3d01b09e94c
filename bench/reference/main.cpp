// The bare reference for bench/run: a QApplication with one QWebEngineView
// loading the address given on the command line. It prints
// "<ms since process start> start" on entering main and
// "<ms since process start> page-loaded ok|failed" on the first loadFinished,
// on the same clock as lckb's LCKB_TRACE. Nothing else, so that whatever the
// client costs beyond this is the client's own.
#include "app/processclock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QUrl>
#include <QWebEngineView>

#include <cstdio>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    const qint64 atMain = lckb::processAgeMs();
    std::printf("%lld start\n", static_cast<long long>(atMain));
    std::fflush(stdout);

    if (argc != 2) {
        std::fprintf(stderr, "usage: lckb-bench-reference URL\n");
        return 2;
    }
    // As lckb does; QtWebEngine wants it set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    QWebEngineView view;
    QObject::connect(
        &view, &QWebEngineView::loadFinished, &view,
        [&](bool ok) {
            std::printf("%lld page-loaded %s\n", static_cast<long long>(atMain + sinceMain.elapsed()),
                        ok ? "ok" : "failed");
            std::fflush(stdout);
        },
        Qt::SingleShotConnection);
    // The size of lckb's page area at 96 dpi, so both draw the same pixels.
    view.resize(1024, 652);
    view.load(QUrl::fromUserInput(QString::fromLocal8Bit(argv[1])));
    view.show();
    return app.exec();
}
