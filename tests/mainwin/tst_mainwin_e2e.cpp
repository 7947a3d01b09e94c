// The road of one bulletin through the real program objects: the simulator
// changes channel 2, the poll raises its pop-up with its sound, and a click
// opens the bulletin in the service page's login frame.
#include "windows/browser.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "windows/bulletinpopup.h"
#include "app/gbk.h"
#include "testkit.h"

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

    fx.sim.clearRequests();
    QTest::mouseClick(testkit::child<QLabel>(p, "titleLabel"), Qt::LeftButton, {}, testkit::child<QLabel>(p, "titleLabel")->rect().center());
    QTRY_VERIFY(popups().isEmpty());
    QTRY_VERIFY(!fx.sim.requests("/nc/show.asp").isEmpty());
    QCOMPARE(fx.sim.baseUrl(0) + fx.sim.requests("/nc/show.asp").first().target, url);
}

QTEST_MAIN(TstEndToEnd)
#include "tst_mainwin_e2e.moc"
