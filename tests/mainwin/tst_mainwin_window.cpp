// The main window: its load step, its size rules, the tray, hiding and quitting.
#include "files.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "reminder/runlimit.h"
#include "sessionbus.h"
#include "testkit.h"
#include "mainwin/tray.h"
#include "app/twips.h"
#include "prefs/screenunits.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QWebEngineView>

using namespace lckb;

namespace {
// A notification server that notes what it is told and when.
class Notifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList told;     // summary and body of each
    int endedBefore = -1; // the program's ends before the first
    std::function<int()> ends;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        if (told.isEmpty())
            endedBefore = ends();
        told << summary << body;
        return 1;
    }
};
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void loadStep();
    void controlsAndResizeRule();
    void closeBoxHidesAndTrayBringsBack();
    void withoutTrayTheCloseBoxMinimises();
    void quitCommands();
    void runningLimitEndsTheRun();
};

void TstMainWindow::loadStep()
{
    Fixture fx;
    fx.write("config", "xianlu", "2");
    fx.write("mima", "user", QStringLiteral("张三"));
    fx.write("mima", "pass", "pw");
    QDir(fx.dir.path()).mkpath("dat/x");
    for (const char *f : {"dat/a.txt", "dat/b", "dat/x/c.txt"}) {
        QFile file(fx.dir.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    fx.session.choices.loadLineIndex(); // as the entry procedure does

    Program prog(fx.session, &fx.player);

    MainWindow &w = prog.window();
    QCOMPARE(w.windowTitle(), QStringLiteral("澜策快报 LC6.1.1"));
    QVERIFY(!fx.session.choices.choicesLoaded());
    QSignalSpy questions(&prog, &Program::ended);
    fx.start(prog, Shown);

    // The saved line is selected without a question, and its page is loaded;
    // the keyboard starts on it.
    QVERIFY(lineButton(w, 2)->isChecked());
    QCOMPARE(w.focusWidget(), lineButton(w, 2));
    QVERIFY(testkit::messageBoxes().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(w.pageComplete(), 20000);
    QCOMPARE(fx.pageRequests(2), 1);
    QCOMPARE(fx.pageRequests(0), 0);
    QCOMPARE(pageView(w)->url().toString(), fx.session.serverLines[2] + "/nc/i88-61.asp");

    // Clean-up of "dat": files go, the subfolder and its file stay.
    QVERIFY(!QFile::exists(fx.dir.filePath("dat/a.txt")));
    QVERIFY(!QFile::exists(fx.dir.filePath("dat/b")));
    QVERIFY(QFile::exists(fx.dir.filePath("dat/x/c.txt")));

    QCOMPARE(fx.session.choices.user(), QStringLiteral("张三"));
    QCOMPARE(fx.session.choices.pass(), QStringLiteral("pw"));
    QVERIFY(prog.poll().timerRunning());
    QCOMPARE(prog.poll().busy(), 0);
    QVERIFY(fx.session.choices.choicesLoaded());
    QCOMPARE(prog.runLimit().startedAt(), fx.clock.now());
    QCOMPARE(prog.runLimit().limitMinutes(), 720);
    QVERIFY(prog.tray().icon()->isVisible());
    QCOMPARE(prog.tray().icon()->toolTip(), QStringLiteral("澜策快报+首席澜策宝"));
    QVERIFY(!prog.tray().icon()->icon().isNull());
    // Loading wrote nothing: no preference was clicked.
    QCOMPARE(fx.read("config", "Check1"), QString());
    QCOMPARE(questions.count(), 0);
}

void TstMainWindow::controlsAndResizeRule()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown);
    const qreal dpi = screenDpi(&w);
    // Sizes in twips, to the pixel they round to.
    auto twW = [&] { return pxToTwips(w.frameGeometry().width(), dpi); };
    auto twH = [&] { return pxToTwips(w.frameGeometry().height(), dpi); };
    auto near = [&](int twips, int want) { return qAbs(twips - want) <= 1440 / dpi; };

    // Hidden controls exist and stay hidden; the fifth line button cannot be chosen.
    for (QWidget *hidden : {static_cast<QWidget *>(lineButton(w, 4)), static_cast<QWidget *>(box(w, "seriesBox")),
                            static_cast<QWidget *>(box(w, "vipBriefingBox")), static_cast<QWidget *>(box(w, "goldListBox")),
                            static_cast<QWidget *>(button(w, "promotionButton"))})
        QVERIFY(!hidden->isVisible());
    QVERIFY(!lineButton(w, 4)->isEnabled());
    QCOMPARE(box(w, "reminderBox")->toolTip(), QStringLiteral("开启/关闭提醒，点击弹出详细设置"));
    QCOMPARE(button(w, "quitButton")->text(), QStringLiteral("关闭退出"));
    QVERIFY(box(w, "reminderBox")->isChecked() && box(w, "soundBox")->isChecked() && !box(w, "rememberLoginBox")->isChecked());

    // Width 15,500 then height 10,400, which the minimum raises to 10,680.
    QTRY_VERIFY2(near(twW(), 15500), qPrintable(QString::number(twW())));
    QTRY_VERIFY2(near(twH(), 10680), qPrintable(QString::number(twH())));
    // Centred on the screen (the test platform may shift a window by its frame).
    const QRect sg = w.screen()->geometry();
    const int slack = w.frameGeometry().width() - w.width() + 1;
    QTRY_VERIFY(qAbs(w.frameGeometry().center().x() - sg.center().x()) <= slack);
    QTRY_VERIFY(qAbs(w.frameGeometry().center().y() - sg.center().y()) <= slack);

    auto checkLayout = [&] {
        const int W = twW(), H = twH();
        QCOMPARE(pageView(w)->geometry(),
                 QRect(0, twipsToPx(400, dpi), twipsToPx(W - 140, dpi), twipsToPx(H - 900, dpi)));
        QCOMPARE(button(w, "quitButton")->x(), twipsToPx(W - 1100, dpi));
        QCOMPARE(button(w, "promotionButton")->x(), twipsToPx(W - 2245, dpi));
        QCOMPARE(box(w, "rememberLoginBox")->x(), twipsToPx(W - 3570, dpi));
    };
    checkLayout();

    // A normal window cannot be made smaller than 15,360 x 10,680 twips.
    w.resize(twipsToPx(10000, dpi), twipsToPx(8000, dpi));
    QTRY_VERIFY(near(twW(), 15360));
    QVERIFY(near(twH(), 10680));
    checkLayout();
    const QSize frame = w.frameGeometry().size() - w.size();
    w.resize(twipsToPx(20000, dpi) - frame.width(), twipsToPx(12000, dpi) - frame.height());
    QTRY_VERIFY(near(twW(), 20000));
    checkLayout();

    // Maximised, the window takes the screen's size, even a screen smaller
    // than the minimum, and the browser follows.
    w.showMaximized();
    QTRY_VERIFY(w.isMaximized());
    QTRY_COMPARE(w.frameGeometry().size(), w.screen()->availableGeometry().size());
    checkLayout();
    // Minimised: nothing moves.
    const QRect before = pageView(w)->geometry();
    w.showMinimized();
    QCOMPARE(pageView(w)->geometry(), before);
}

void TstMainWindow::closeBoxHidesAndTrayBringsBack()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = prog.window();
    prog.tray().setAvailabilityProbe([] { return true; });
    QSignalSpy ended(&prog, &Program::ended);
    fx.start(prog, Shown);
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The close box hides; the icon stays.
    QVERIFY(!w.close());
    QVERIFY(w.isHidden());
    QVERIFY(prog.tray().icon()->isVisible());
    QCOMPARE(ended.count(), 0);

    // A left click on the icon shows the window, and gives it the focus
    // when another window has it.
    emit prog.tray().leftClicked(); // a left click on the tray icon
    QVERIFY(w.isVisible());
    QWidget other;
    bringToFront(other);
    emit prog.tray().leftClicked(); // a left click on the tray icon
    QTRY_COMPARE(QApplication::activeWindow(), &w);

    // From minimised, both the left click and "显示程序" bring it back to normal.
    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    emit prog.tray().leftClicked(); // a left click on the tray icon
    QTRY_VERIFY(!w.isMinimized());
    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    prog.tray().showAction()->trigger();
    QTRY_VERIFY(!w.isMinimized());
    w.hide();
    prog.tray().showAction()->trigger();
    QVERIFY(w.isVisible());

    // The tray menu: "显示程序", the recent bulletins (none yet),
    // "开机自动启动", "关闭退出".
    QMenu *menu = prog.tray().menu();
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(0)->text(), QStringLiteral("显示程序"));
    QCOMPARE(items.at(1)->text(), QStringLiteral("最近提醒"));
    QVERIFY(items.at(1)->menu());
    QList<QAction *> recent = items.at(1)->menu()->actions();
    recent.removeIf([](QAction *a) { return !a->isVisible(); });
    QCOMPARE(recent.size(), 1);
    QCOMPARE(recent.first()->text(), QStringLiteral("（暂无）"));
    QVERIFY(!recent.first()->isEnabled());
    QCOMPARE(items.at(3)->text(), QStringLiteral("关闭退出"));
    QCOMPARE(prog.tray().icon()->contextMenu(), menu);
    QCOMPARE(ended.count(), 0);

    // "开机自动启动": off and nothing written until the user ticks it; the
    // entry starts this program with the --hosts it was given, in the tray.
    QAction *autostart = items.at(2);
    QCOMPARE(autostart->text(), QStringLiteral("开机自动启动"));
    QVERIFY(autostart->isCheckable() && autostart->isEnabled() && !autostart->isChecked());
    const QString entry = fx.session.autostartFile;
    QVERIFY(!QFile::exists(entry));
    autostart->trigger();
    QVERIFY(autostart->isChecked());
    QVERIFY(testkit::readFile(entry).contains("\nExec=" + fx.session.startCommand.join(u' ').toUtf8() + " --tray\n"));
    // Switched off in the desktop's settings: the menu shows it when opened.
    QVERIFY(testkit::writeFile(entry, testkit::readFile(entry) + "Hidden=true\n"));
    menu->popup({0, 0});
    menu->hide();
    QVERIFY(!autostart->isChecked());
    autostart->trigger(); // ticked again: written anew
    QVERIFY(autostart->isChecked() && !testkit::readFile(entry).contains("Hidden"));
    autostart->trigger();
    QVERIFY(!autostart->isChecked() && !QFile::exists(entry));
    QVERIFY(testkit::messageBoxes().isEmpty());
    // A link in the entry's place, pointing out of the folder at nothing:
    // refused with a word, the box unticked, nothing made where it points.
    const QString elsewhere = fx.dir.filePath("elsewhere");
    QVERIFY(QFile::link(elsewhere + "/lckb.desktop", entry));
    autostart->trigger();
    QVERIFY(!autostart->isChecked());
    QVERIFY(!QFileInfo::exists(elsewhere));
    const QList<QMessageBox *> boxes = testkit::messageBoxes();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first()->text().contains(QStringLiteral("符号链接")), qPrintable(boxes.first()->text()));
    QVERIFY(testkit::answer(boxes.first()->text(), QMessageBox::Ok));
}

void TstMainWindow::withoutTrayTheCloseBoxMinimises()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = prog.window();
    bool trayThere = false;
    prog.tray().setAvailabilityProbe([&] { return trayThere; });
    fx.start(prog, Shown);
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Hiding now would leave no way back: the window goes to the task bar.
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QTRY_VERIFY(w.isMinimized());

    // A tray that turns up later is found, and from then on the close box hides.
    w.showNormal();
    trayThere = true;
    QTRY_VERIFY(prog.tray().usable());
    QVERIFY(!w.close());
    QVERIFY(w.isHidden());
}

void TstMainWindow::quitCommands()
{
    {
        Fixture fx;
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, Shown);
        QWidget other;
        other.setWindowTitle("other");
        other.show();
        QSignalSpy ended(&prog, &Program::ended);
        // "关闭退出" on the window: the icon goes, every window closes, the run ends.
        QTest::mouseClick(button(w, "quitButton"), Qt::LeftButton);
        QCOMPARE(ended.count(), 1);
        QVERIFY(!prog.tray().icon()->isVisible());
        QVERIFY(w.isHidden());
        QVERIFY(other.isHidden());
        QVERIFY(!w.findChild<QTimer *>("loginFillTimer")->isActive());
        QVERIFY(!prog.poll().timerRunning());
    }
    {
        Fixture fx;
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, Shown);
        QWidget other;
        other.show();
        prog.alerts().announce({0, "g", "t", "http://x/", {}});
        QSignalSpy ended(&prog, &Program::ended);
        // "关闭退出" in the tray menu: the icon goes and the run ends at once,
        // without the window's closing steps.
        prog.tray().quitAction()->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!prog.tray().icon()->isVisible());
        QVERIFY(w.isVisible());
        QVERIFY(other.isVisible());
        QCOMPARE(testkit::popups().size(), 1);
    }
    // The pop-up left open went with the program, before its main window.
    QCOMPARE(testkit::countOf<BulletinPopup>(true), 0);
    {
        Fixture fx;
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, Shown);
        QSignalSpy ended(&prog, &Program::ended);
        // An end from outside (logout, SIGTERM): every window closes; the
        // icon is left to the desktop.
        prog.endFromOutside();
        QCOMPARE(ended.count(), 1);
        QVERIFY(w.isHidden());
    }
}

void TstMainWindow::runningLimitEndsTheRun()
{
    testkit::SessionBus bus;
    QVERIFY(bus.ok());
    QVERIFY(QDBusConnection::connectToBus(bus.address(), QStringLiteral("client")).isConnected());
    {
        Fixture fx;
        fx.session.intervals.runLimit = 20;
        Program prog(fx.session, &fx.player);
        MainWindow &w = prog.window();
        // A session without a notification server, and no tray to speak from.
        prog.endNotice().setBus(QStringLiteral("client"));
        fx.start(prog, Shown);
        QSignalSpy ended(&prog, &Program::ended);
        // Start 09:00:30: 720 minute boundaries at 21:00:59 is not yet over the limit.
        fx.clock.set(QDateTime(QDate(2026, 3, 2), QTime(21, 0, 59)));
        QTest::qWait(100);
        QCOMPARE(ended.count(), 0);
        fx.clock.set(QDateTime(QDate(2026, 3, 2), QTime(21, 1, 0)));
        QTRY_COMPARE(ended.count(), 1);
        // No dead icon stays behind, no message, and the window did not close itself.
        QVERIFY(!prog.tray().icon()->isVisible());
        QVERIFY(testkit::messageBoxes().isEmpty());
        QVERIFY(w.isVisible());
    }

    // With a notification server, the user is told first; a shortened limit.
    QDBusConnection serverBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("server"));
    Notifications server;
    QVERIFY(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                     QDBusConnection::ExportAllSlots));
    QVERIFY(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    Fixture fx;
    fx.session.intervals.runLimit = 20;
    Program prog(fx.session, &fx.player);
    prog.endNotice().setBus(QStringLiteral("client"));
    prog.runLimit().setLimitMinutes(2);
    fx.start(prog, InTray);
    QSignalSpy ended(&prog, &Program::ended);
    server.ends = [&] { return int(ended.count()); };
    fx.clock.set(QDateTime(QDate(2026, 3, 2), QTime(9, 3, 0)));
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(server.told, (QStringList{QStringLiteral("澜策快报 LC6.1"),
                                       QStringLiteral("澜策快报已连续运行12小时，已自动退出，请重新启动以继续接收提醒。")}));
    QCOMPARE(server.endedBefore, 0);
    QVERIFY(!prog.poll().timerRunning());
    QVERIFY(!prog.tray().icon()->isVisible());
    QTest::qWait(100);
    QCOMPARE(server.told.size(), 2); // once
    QCOMPARE(ended.count(), 1);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwin_window.moc"
