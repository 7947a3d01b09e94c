// The road of one bulletin through the real program objects: the simulator
// changes channel 2, the poll raises its pop-up with its sound, and a click
// opens the bulletin in the service page's login frame. On an X server with
// a window manager, so stacking, focus and frames are a desktop's.
#include "windows/browser.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "windows/bulletinpopup.h"
#include "app/gbk.h"
#include "prefs/appicon.h"
#include "testkit.h"
#include "xserver.h"

#include <QSignalSpy>

using namespace lckb;

class TstEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void oneBulletinFromServerToFrame();
};

void TstEndToEnd::oneBulletinFromServerToFrame()
{
    Fixture fx;
    fx.session.intervals.poll = 150;
    MainWindow w(fx.session, &fx.player);
    fx.load(w);
    QSignalSpy polls(&w.poll(), &ReminderPoll::pollFinished);

    // The first reply only becomes the baseline.
    QTRY_VERIFY(polls.count() >= 2);
    QVERIFY(testkit::messageBoxes().isEmpty());
    using testkit::popups;
    QVERIFY(popups().isEmpty());
    QVERIFY(fx.player.played.isEmpty());

    // The baseline's line of channel 2 is what the pop-up will show.
    const QStringList before = lckb::decodeGbk(fx.sim.currentReply()).split(QStringLiteral("\r\n"));
    QCOMPARE(before.size(), 8);
    const QStringList oldFields = before.at(2).split(u',');
    QCOMPARE(oldFields.size(), 4);

    const int n = polls.count();
    fx.sim.publish(2, QStringLiteral("新公告标题"));
    QTRY_VERIFY(polls.count() >= n + 1);
    QTRY_COMPARE(popups().size(), 1);
    BulletinPopup *p = popups().first();
    QCOMPARE(p->data().title, oldFields.at(1));
    QCOMPARE(p->data().group, oldFields.at(2));
    const QString url = fx.session.serverBase() + oldFields.at(3);
    QCOMPARE(p->data().url, url);
    QCOMPARE(fx.player.played, QStringList{fx.session.programDir() + "ts.wav"});

    // Announced once: further polls of the same reply raise nothing more.
    const int m = polls.count();
    QTRY_VERIFY(polls.count() >= m + 2);
    QCOMPARE(popups().size(), 1);
    QCOMPARE(fx.player.played.size(), 1);

    // The user went elsewhere: the main window is down in the task bar.
    w.showMinimized();
    using testkit::XServer;
    QTRY_VERIFY(XServer::property(&w, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN"));

    fx.sim.clearRequests();
    QTest::mouseClick(testkit::child<QLabel>(p, "titleLabel"), Qt::LeftButton, {}, testkit::child<QLabel>(p, "titleLabel")->rect().center());
    QTRY_VERIFY(popups().isEmpty());
    QTRY_VERIFY(!fx.sim.requests("/nc/show.asp").isEmpty());
    // Back on screen and in front, as the window manager has it.
    QTRY_VERIFY(!XServer::property(&w, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN"));
    QTRY_VERIFY(XServer::property(XServer::rootWindow(), "_NET_ACTIVE_WINDOW")
                    .endsWith(QStringLiteral("0x%1").arg(w.winId(), 0, 16)));
    QCOMPARE(fx.sim.baseUrl(0) + fx.sim.requests("/nc/show.asp").first().target, url);
}

int main(int argc, char *argv[])
{
    testkit::XServer x;
    if (!x.ok() || !x.hasWindowManager()) {
        qCritical("no X server with a window manager could be started");
        return 1;
    }
    QApplication app(argc, argv);
    lckb::setUpApplication();
    TstEndToEnd t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_mainwin_e2e.moc"
