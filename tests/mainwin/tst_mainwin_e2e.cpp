// The road of one bulletin through the real program objects: the simulator
// changes channel 2, the poll raises its pop-up with its sound, and a click
// opens the bulletin in the service page's login frame. Then the tray: the
// bulletins a user missed in its menu, and a server that stops answering in
// its tip and icon, also in a StatusNotifier tray; and those bulletins again after a restart. On an X server with a window manager, so stacking, focus
// and frames are a desktop's.
#include "windows/browser.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "windows/browserwindow.h"
#include "windows/bulletinpopup.h"
#include "app/gbk.h"
#include "mainwin/traystatus.h"
#include "desktop/application.h"
#include "prefs/appicon.h"
#include "prefs/messagebox.h"
#include "testkit.h"
#include "files.h"
#include "sessionbus.h"
#include "xserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>

using namespace lckb;

class TstEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void oneBulletinFromServerToFrame();
    void missedBulletinsAndAStoppedReminderInTheTray();
    void bulletinsOfTheRunBeforeAfterARestart();
    void aPageThatCouldNotLoadComesWithTheServer();
    void aPageOutOfSightRestsAndComesBackWithTheLogin();
};

void TstEndToEnd::oneBulletinFromServerToFrame()
{
    Fixture fx;
    fx.session.intervals.poll = 150;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown, Loaded);
    QSignalSpy polls(&prog.poll(), &ReminderPoll::pollFinished);

    // The first reply only becomes the baseline.
    QTRY_VERIFY(polls.count() >= 2);
    QVERIFY(testkit::messageBoxes().isEmpty());
    using testkit::popups;
    QVERIFY(popups().isEmpty());
    QVERIFY(fx.player.played.isEmpty());

    // The line of channel 2 that arrives is what the pop-up shows.
    const int n = polls.count();
    fx.sim.publish(2, QStringLiteral("新公告标题"));
    const QStringList after = lckb::decodeGbk(fx.sim.currentReply()).split(QStringLiteral("\r\n"));
    QCOMPARE(after.size(), 8);
    const QStringList newFields = after.at(2).split(u',');
    QCOMPARE(newFields.size(), 4);
    QCOMPARE(newFields.at(1), QStringLiteral("新公告标题"));
    QTRY_VERIFY(polls.count() >= n + 1);
    QTRY_COMPARE(popups().size(), 1);
    BulletinPopup *p = popups().first();
    QCOMPARE(p->bulletin().title, newFields.at(1));
    QCOMPARE(p->bulletin().group, newFields.at(2));
    const QString url = fx.session.serverBase() + newFields.at(3);
    QCOMPARE(p->bulletin().url, url);
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

void TstEndToEnd::missedBulletinsAndAStoppedReminderInTheTray()
{
    using sim::Step;
    QStringList first;
    for (int k = 0; k < 8; ++k)
        first << QStringLiteral("%1,标题%1,%2,/nc/show.asp?id=%1").arg(101 + k).arg(QString::fromUtf8(sim::kChannelCaptions[k]));
    QStringList second = first, third;
    second[2] = QStringLiteral("203,R&D & A_B 新品发布,澜策资本,/nc/show.asp?id=203");
    third = second;
    for (int k : {3, 6})
        third[k] = QStringLiteral("%1,新%1,%2,/nc/show.asp?id=%1").arg(201 + k).arg(QString::fromUtf8(sim::kChannelCaptions[k]));
    const QString longTitle = QStringLiteral("盘中快讯：远帆航运快速拉升，北向资金净买入十二亿元，低空经济概念持续走强");
    third[4] = QStringLiteral("205,%1,私募周报,/nc/show.asp?id=205").arg(longTitle);
    Step failing = Step::httpStatus(500);
    failing.times = 3;

    Fixture fx;
    fx.sim.setScenario({Step::reply(first), Step::reply(second), Step::reply(third), failing, Step::reply(third)});
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, InTray, Loaded); // in the tray, as when the user is away
    QList<PollOutcome> outcomes;
    connect(&prog.poll(), &ReminderPoll::pollFinished, this, [&](PollOutcome o) { outcomes << o; });
    // A poll at time `t` of the day; Busy when it did not end in time.
    const auto pollAt = [&](QTime t) {
        fx.clock.set(QDateTime(fx.clock.now().date(), t));
        const qsizetype n = outcomes.size();
        prog.poll().pollOnce();
        return testkit::waitFor([&] { return outcomes.size() > n; }, 5000) ? outcomes.last() : PollOutcome::Busy;
    };
    const auto greyIcon = [&] {
        const QImage img = prog.tray().icon()->icon().pixmap(32).toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (const QColor c = img.pixelColor(x, y); c.red() != c.green() || c.green() != c.blue())
                    return false;
        return true;
    };
    QMenu *recentMenu = prog.tray().menu()->findChild<QMenu *>("recentMenu");
    QVERIFY(recentMenu);
    QCOMPARE(prog.tray().menu()->actions().indexOf(recentMenu->menuAction()), 1);

    const auto shown = [&] {
        QList<QAction *> entries = recentMenu->actions();
        entries.removeIf([](QAction *a) { return !a->isVisible(); });
        return entries;
    };
    // The entries stay the same objects, shown one by one: a tray that
    // shows the submenu open keeps it open.
    const QList<QAction *> entries = recentMenu->actions();
    QCOMPARE(pollAt(QTime(9, 1)), PollOutcome::Unchanged);
    QCOMPARE(pollAt(QTime(9, 31, 59)), PollOutcome::Compared);
    QCOMPARE(shown(), entries.first(1));
    QCOMPARE(pollAt(QTime(9, 42)), PollOutcome::Compared);
    QCOMPARE(recentMenu->actions(), entries);
    // Four pop-ups: the three-pop-up rule closed the first, the list keeps it.
    QCOMPARE(testkit::popups().size(), 3);
    QStringList labels;
    for (QAction *a : shown())
        labels << a->text();
    QCOMPARE(labels, QStringList({QStringLiteral("09:42  新207"), QStringLiteral("09:42  ") + longTitle.left(29) + QChar(0x2026),
                                  QStringLiteral("09:42  新204"), QStringLiteral("09:31  R&&D && A_B 新品发布")}));
    QCOMPARE(prog.tray().icon()->toolTip(), Tray::kTip);
    QVERIFY(!greyIcon());

    // The oldest entry does what its pop-up would have done.
    QVERIFY(w.isHidden());
    fx.sim.clearRequests();
    shown().last()->trigger();
    QTRY_COMPARE(fx.sim.requests("/nc/show.asp").size(), 1);
    QCOMPARE(fx.sim.requests("/nc/show.asp").first().query.queryItemValue("id"), QStringLiteral("203"));
    QTRY_COMPARE(testkit::runJs(w.page(), "window.frames[3].location.href").toString(),
                 fx.session.serverBase() + "/nc/show.asp?id=203");
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());

    // Three polls without a usable reply: the tip says since when, the icon
    // turns grey; nothing else happens.
    QCOMPARE(pollAt(QTime(10, 5, 10)), PollOutcome::FetchFailed);
    QCOMPARE(pollAt(QTime(10, 5, 40)), PollOutcome::FetchFailed);
    QCOMPARE(prog.tray().icon()->toolTip(), Tray::kTip);
    QCOMPARE(pollAt(QTime(10, 6, 10)), PollOutcome::FetchFailed);
    QCOMPARE(prog.tray().icon()->toolTip(), Tray::kTip + QStringLiteral("\n提醒中断：自 10:05 起未能取到提醒"));
    QVERIFY(greyIcon());
    QVERIFY(testkit::messageBoxes().isEmpty());
    QCOMPARE(fx.player.played.size(), 4);

    // The first usable reply takes both back.
    QCOMPARE(pollAt(QTime(10, 6, 40)), PollOutcome::Unchanged);
    QCOMPARE(prog.tray().icon()->toolTip(), Tray::kTip);
    QVERIFY(!greyIcon());
    testkit::deletePopups();

    // The same list in a StatusNotifier tray: the program as a user starts
    // it, its menu going over D-Bus to the stand-in tray, where '_' is the
    // mark. One '&' and one '_' of a title show as one there too, and the
    // entry opens its bulletin.
    testkit::SessionBus bus;
    QVERIFY(bus.ok());
    Fixture sni;
    const QString bin = qEnvironmentVariable("LCKB_BIN_DIR");
    QVERIFY(QDir().mkpath(sni.dir.filePath("prog")));
    QVERIFY(QFile::copy(bin + "/lckb", sni.dir.filePath("prog/lckb")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    env.insert("HOME", sni.dir.filePath("home"));
    env.remove("XDG_CONFIG_HOME");
    env.remove("XDG_STATE_HOME");
    const auto tray = [&](const QStringList &args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(bin + "/lckb-sni-host", args);
        return p.waitForFinished(30000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    };
    // The first entry of 最近提醒 as the tray shows it: in a dbusmenu label
    // "__" is one '_' and any other '_' a mark, not shown.
    const auto firstEntry = [&] {
        const QJsonArray top = QJsonDocument::fromJson(tray({"dump"})).object()["menu"].toObject()["children"].toArray();
        for (const QJsonValue &m : top) {
            const QJsonArray entries = m.toObject()["children"].toArray();
            if (m.toObject()["label"].toString() != Tray::kRecentTitle || entries.isEmpty()
                || !entries.first().toObject()["enabled"].toBool())
                continue;
            const QString raw = entries.first().toObject()["label"].toString();
            QString shown;
            for (qsizetype i = 0; i < raw.size(); ++i) {
                if (raw.at(i) != u'_')
                    shown += raw.at(i);
                else if (i + 1 < raw.size() && raw.at(i + 1) == u'_')
                    shown += raw.at(++i);
            }
            return shown;
        }
        return QString();
    };
    QProcess host;
    host.setProcessEnvironment(env);
    host.start(bin + "/lckb-sni-host", {"serve", "--log", sni.dir.filePath("sni.jsonl")});
    QTRY_VERIFY(testkit::readFile(sni.dir.filePath("sni.jsonl")).contains("\"ready\""));
    QStringList hosts;
    for (quint16 port : sni.sim.ports())
        hosts << QStringLiteral("127.0.0.1:%1").arg(port);
    QProcess lckb;
    lckb.setProcessEnvironment(env);
    lckb.start(sni.dir.filePath("prog/lckb"), {"--hosts", hosts.join(u','), "--poll-interval", "1"});
    QVERIFY(!tray({"wait-item", "--timeout", "20"}).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(sni.sim.requests("/nc/tx.asp").size() >= 2, 20000); // the baseline
    sni.sim.publish(2, QStringLiteral("R&D & A_B 新品"));
    QString entry;
    QTRY_VERIFY_WITH_TIMEOUT(!(entry = firstEntry()).isEmpty(), 20000);
    QVERIFY2(entry.endsWith(QStringLiteral("  R&D & A_B 新品")), qPrintable(entry));
    sni.sim.clearRequests();
    QVERIFY(!tray({"click-menu", entry}).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(sni.sim.requests("/nc/show.asp").size(), 1, 10000);
    lckb.terminate();
    QVERIFY(lckb.waitForFinished(10000));
    host.terminate();
    QVERIFY(host.waitForFinished(10000));
}

void TstEndToEnd::bulletinsOfTheRunBeforeAfterARestart()
{
    QStringList first;
    for (int k = 0; k < 8; ++k)
        first << QStringLiteral("%1,标题%1,%2,/nc/show.asp?id=%1").arg(101 + k).arg(QString::fromUtf8(sim::kChannelCaptions[k]));
    QStringList second = first;
    second[2] = QStringLiteral("203,后续公告,澜策资本,/nc/show.asp?id=203");
    second[3] = QStringLiteral("204,又一公告,澜策资本,/nc/show.asp?id=204");
    Fixture fx;
    fx.session.recentFile = fx.dir.filePath("state/lckb/recent");
    fx.sim.setScenario({sim::Step::reply(first), sim::Step::reply(second)});
    QList<Bulletin> shown; // what the pop-ups of the first run showed, newest first
    {
        Program prog(fx.session, &fx.player);
        fx.start(prog, InTray, Loaded);
        connect(&prog.alerts(), &Alerts::announced, this, [&](const Bulletin &b) { shown.prepend(b); });
        QSignalSpy polls(&prog.poll(), &ReminderPoll::pollFinished);
        for (QTime t : {QTime(9, 1), QTime(9, 31, 59)}) {
            fx.clock.set(QDateTime(fx.clock.now().date(), t));
            prog.poll().pollOnce();
            QTRY_VERIFY(!polls.isEmpty());
            polls.clear();
        }
        QTRY_COMPARE(testkit::popups().size(), 2);
        QCOMPARE(shown.size(), 2);
        testkit::deletePopups();
    } // the run ends

    // The next morning, on another line.
    fx.clock.set(QDateTime(QDate(2026, 3, 3), QTime(8, 30)));
    fx.session.choices.setLineIndex(1);
    Program prog(fx.session, &fx.player);
    fx.start(prog, InTray, Loaded);
    QMenu *recentMenu = prog.tray().menu()->findChild<QMenu *>("recentMenu");
    QList<QAction *> entries = recentMenu->actions();
    entries.removeIf([](QAction *a) { return !a->isVisible(); });
    QStringList labels;
    for (QAction *a : entries)
        labels << a->text();
    QCOMPARE(labels, (QStringList{"03-02 09:31  " + shown.at(0).title, "03-02 09:31  " + shown.at(1).title}));
    // A click opens the bulletin on the line in use now.
    fx.sim.clearRequests();
    entries.last()->trigger();
    QTRY_COMPARE(fx.sim.requests("/nc/show.asp").size(), 1);
    const auto request = fx.sim.requests("/nc/show.asp").first();
    QCOMPARE(request.port, fx.sim.ports().at(1));
    QCOMPARE(fx.sim.baseUrl(0) + request.target, shown.at(1).url);
    QVERIFY(prog.window().isVisible());
}

void TstEndToEnd::aPageThatCouldNotLoadComesWithTheServer()
{
    // A morning's start before the server (or the network) is there: the
    // page fails, the polls fail, then the server comes up.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    Fixture fx;
    const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
    fx.session.serverLines = *lckb::makeServerLines({host, host, host});
    fx.session.intervals.poll = 200;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown);
    QSignalSpy polls(&prog.poll(), &ReminderPoll::pollFinished);
    QSignalSpy loads(w.page(), &QWebEnginePage::loadFinished);
    QTRY_VERIFY_WITH_TIMEOUT(!loads.isEmpty(), 20000);
    QCOMPARE(loads.first().first().toBool(), false);
    QTRY_VERIFY(polls.count() >= 3);
    QCOMPARE(loads.count(), 1); // failing polls load nothing

    // The first poll that gets through loads the page again, once.
    QVERIFY(fx.sim.listen({port}));
    QTRY_VERIFY_WITH_TIMEOUT(loads.count() == 2, 20000);
    QCOMPARE(loads.last().first().toBool(), true);
    QTRY_COMPARE(testkit::runJs(w.page(), "frames.length").toInt(), 4);
    const int pageRequests = fx.pageRequests(0);
    const int n = polls.count();
    QTRY_VERIFY(polls.count() >= n + 3);
    QCOMPARE(fx.pageRequests(0), pageRequests);

    // Without hosts at all, the page area says where they go, as text.
    prog.tellMissingHosts(QStringLiteral("<b>服务器地址</b>写在 lines.ini"));
    auto *notice = testkit::child<QLabel>(&w, "pageNotice");
    QCOMPARE(notice->text(), QStringLiteral("<b>服务器地址</b>写在 lines.ini"));
    QCOMPARE(notice->textFormat(), Qt::PlainText);
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->geometry(), pageView(w)->geometry());
    QVERIFY(testkit::answer(QStringLiteral("<b>服务器地址</b>写在 lines.ini"), QMessageBox::Ok));
}

void TstEndToEnd::aPageOutOfSightRestsAndComesBackWithTheLogin()
{
    using L = QWebEnginePage::LifecycleState;
    Fixture fx;
    fx.session.clock = SystemClock::instance(); // the rest counts the time as its timer does
    fx.session.intervals.pageFreeze = 300;
    fx.session.intervals.pageDiscard = 1500;
    fx.write("mima", "mima", "1");
    fx.write("mima", "user", QStringLiteral("张三"));
    fx.write("mima", "pass", "secret");
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown, Loaded);
    const auto password = [&w] { return testkit::frameValue(w.page(), 3, "userPassword"); };
    QTRY_COMPARE(password(), QStringLiteral("secret"));
    auto *fillTimer = testkit::child<QTimer>(&w, "loginFillTimer");
    QVERIFY(fillTimer->isActive());
    // On screen the page never rests.
    testkit::settle(2 * fx.session.intervals.pageDiscard);
    QCOMPARE(w.page()->lifecycleState(), L::Active);

    // Minimised while a question is open: the page stays as it is until it is answered.
    openMessage(QMessageBox::Question, kAppTitle, QStringLiteral("问题"), QMessageBox::Ok);
    w.showMinimized();
    QTRY_VERIFY(testkit::XServer::property(&w, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN"));
    testkit::settle(2 * fx.session.intervals.pageDiscard);
    QCOMPARE(w.page()->lifecycleState(), L::Active);
    QVERIFY(testkit::answer(QStringLiteral("问题"), QMessageBox::Ok));
    // Then frozen, with the login timer, and discarded.
    QTRY_COMPARE(w.page()->lifecycleState(), L::Frozen);
    QVERIFY(!fillTimer->isActive());
    QSignalSpy loads(w.page(), &QWebEnginePage::loadFinished);
    QTRY_COMPARE(w.page()->lifecycleState(), L::Discarded);
    QCOMPARE(w.pageRest(), PageRest::State::Discarded);

    // Back on screen: the page loads anew and the login is typed in again.
    w.showNormal();
    QTRY_COMPARE(w.page()->lifecycleState(), L::Active);
    QTRY_COMPARE_WITH_TIMEOUT(loads.count(), 1, 20000);
    QCOMPARE(loads.first().first().toBool(), true);
    QTRY_COMPARE_WITH_TIMEOUT(password(), QStringLiteral("secret"), 20000);
    QVERIFY(fillTimer->isActive());
    testkit::settle(2 * fx.session.intervals.pageDiscard);
    QCOMPARE(w.page()->lifecycleState(), L::Active);

    // Into the tray with a secondary window open: the page stays awake for it.
    const auto secondary = [] {
        for (QWidget *t : QApplication::topLevelWidgets())
            if (qobject_cast<BrowserWindow *>(t) && t->isVisible())
                return t;
        return static_cast<QWidget *>(nullptr);
    };
    testkit::runJs(w.page(), "window.open('/nc/report.asp?id=7')");
    QTRY_VERIFY(secondary());
    w.hide();
    testkit::settle(2 * fx.session.intervals.pageDiscard);
    QCOMPARE(w.page()->lifecycleState(), L::Active);
    // Closed, the page rests after all.
    secondary()->close();
    QTRY_COMPARE(w.page()->lifecycleState(), L::Frozen);
}

int main(int argc, char *argv[])
{
    testkit::XServer x;
    if (!x.ok() || !x.hasWindowManager()) {
        qCritical("no X server with a window manager could be started");
        return 1;
    }
    QApplication app(argc, argv);
    lckb::setUpApplication(lckb::appIcon());
    TstEndToEnd t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_mainwin_e2e.moc"
