// The pop-ups as the main window raises them: placement, the three-pop-up
// rule with real windows, the click into the service page (also of a start
// in the tray, before any browser engine), the self-close.
#include "windows/browser.h"
#include "fixture.h"
#include "prefs/messagebox.h"
#include "mainwin/mainwindow.h"
#include "desktop/windowhints.h"
#include "windows/bulletinpopup.h"
#include "testkit.h"
#include "app/twips.h"

#include <QAccessible>
#include <QTextDocument>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QThread>
#include <QDir>
#include <QWebEngineView>

#include <unistd.h>

using namespace lckb;

namespace {
// Child processes of the browser engine of this process.
int engineProcesses()
{
    int n = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray stat = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || !stat.contains("(QtWebEngine"))
            continue;
        if (stat.mid(close + 2).split(' ').value(1).toLongLong() == qint64(::getpid()))
            ++n;
    }
    return n;
}
using testkit::popups;
QList<int> popupIndexes()
{
    QList<int> out;
    for (BulletinPopup *p : popups())
        out << p->sequence();
    std::sort(out.begin(), out.end());
    return out;
}
void clickTitle(QLabel *label)
{
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
}
} // namespace

class TstPopup : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (BulletinPopup *p : popups())
            p->close();
        for (QMessageBox *b : testkit::messageBoxes())
            b->close();
        QTest::qWait(20);
    }
    // First: its check for engine processes needs a process without any yet.
    void aStartInTheTrayMakesNoPageUntilABulletinOpens();
    void placementAndLook();
    void threePopupsAtMost();
    void minimiseRule();
    void clickOpensTheBulletinInTheFourthFrame();
    void clickWithoutAFourthFrameSaysSoOnce();
    void clickWhileLoadingTouchesNoFrame();
    void thirdTickCloses();
};

void TstPopup::aStartInTheTrayMakesNoPageUntilABulletinOpens()
{
    Fixture fx;
    fx.session.startInTray = true;
    fx.write("mima", "mima", "1");
    fx.write("mima", "user", QStringLiteral("张三"));
    fx.write("mima", "pass", "secret");
    Program prog(fx.session, &fx.player);
    MainWindow &w = prog.window();
    QSignalSpy made(&w, &MainWindow::pageMade);
    QSignalSpy polls(&prog.poll(), &ReminderPoll::pollFinished);
    QSignalSpy placed(&prog.tray(), &Tray::placed);
    fx.start(prog, InTray);
    // Polls and pop-ups work without a page; no tray here, so the window
    // waits in the task bar, minimised, still without one.
    prog.poll().pollNow();
    QTRY_COMPARE(polls.count(), 1);
    QTRY_COMPARE(placed.count(), 1);
    QTRY_VERIFY(w.isVisible() && w.isMinimized());
    const QString url = fx.session.serverBase() + "/nc/show.asp?id=4343";
    prog.alerts().announce({0, "g", "t", url, {}});
    QCOMPARE(popups().size(), 1);
    QTest::qWait(300);
    QVERIFY(!w.page());
    QVERIFY(!pageView(w));
    QCOMPARE(made.count(), 0);
    QCOMPARE(fx.pageRequests(0), 0);
    QCOMPARE(engineProcesses(), 0);

    // A click on the pop-up makes the page, waits for it, then opens the
    // bulletin in its fourth frame as in a page that was there all along.
    QPointer<BulletinPopup> p = popups().first();
    clickTitle(testkit::child<QLabel>(p, "titleLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(!p, 20000);
    QCOMPARE(made.count(), 1);
    QVERIFY(engineProcesses() > 0);
    QCOMPARE(fx.pageRequests(0), 1);
    QTRY_COMPARE(fx.sim.requests("/nc/show.asp").size(), 1);
    QCOMPARE(fx.sim.requests("/nc/show.asp").first().query.queryItemValue("id"), QStringLiteral("4343"));
    QTRY_COMPARE(testkit::runJs(w.page(), "window.frames[3].location.href").toString(), url);
    QVERIFY(w.isVisible() && !w.isMinimized());
    // Made after the load steps, it still takes the page's place in the window.
    QVERIFY(pageView(w)->isVisible() && pageView(w)->height() > w.height() / 2);
    QVERIFY(testkit::messageBoxes().isEmpty());
    // The remembered login is typed in as always, once the frame holds the login again.
    testkit::runJs(w.page(), QStringLiteral("window.frames[3].location = '%1'")
                                 .arg(fx.session.serverBase() + "/nc/login.asp"));
    QTRY_COMPARE_WITH_TIMEOUT(testkit::frameValue(w.page(), 3, "userPassword"), QStringLiteral("secret"), 20000);
}

void TstPopup::placementAndLook()
{
    // 50 twips from the right, 500 above the bottom, outer size counted.
    QCOMPARE(BulletinPopup::bottomRightPlace(QRect(0, 0, 1920, 1080), QSize(240, 130), 96),
             QPoint(1920 - 240 - 3, 1080 - 130 - 33));
    QCOMPARE(BulletinPopup::bottomRightPlace(QRect(1920, 0, 2880, 1620), QSize(360, 195), 144),
             QPoint(1920 + 2880 - 360 - 5, 1620 - 195 - 50));
    // A panel over that corner moves it up or left, just out of the way; a
    // low one at the bottom or any at the top leaves it where it was.
    const QPoint corner = BulletinPopup::bottomRightPlace(QRect(0, 0, 1366, 768), QSize(240, 136), 96);
    QCOMPARE(keepInWorkArea(corner, QSize(240, 136), QRect(0, 0, 1366, 740)), corner);
    QCOMPARE(keepInWorkArea(corner, QSize(240, 136), QRect(0, 32, 1366, 736)), corner);
    QCOMPARE(keepInWorkArea(corner, QSize(240, 136), QRect(0, 0, 1366, 720)), QPoint(corner.x(), 720 - 136));
    QCOMPARE(keepInWorkArea(corner, QSize(240, 136), QRect(0, 0, 1300, 768)), QPoint(1300 - 240, corner.y()));

    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, InTray);
    prog.alerts().announce({0, QStringLiteral("澜策公司"), QStringLiteral("<b>粗体</b>"), fx.session.serverBase() + "/nc/show.asp?id=1", {}});
    QCOMPARE(popups().size(), 1);
    BulletinPopup *p = popups().first();
    QLabel *title = testkit::child<QLabel>(p, "titleLabel");
    QLabel *invitation = testkit::child<QLabel>(p, "invitationLabel");
    QCOMPARE(p->windowTitle(), QStringLiteral("有新信息，请注意查看！"));
    // The title is shown as text, never as markup.
    QCOMPARE(title->text(), QStringLiteral("><b>粗体</b><"));
    QCOMPARE(title->textFormat(), Qt::PlainText);
    QCOMPARE(invitation->text(), QStringLiteral("有新信息，请点击查看！"));
    QCOMPARE(title->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(title->font().bold());
    QCOMPARE(title->font().pointSizeF(), 14.25);
    QCOMPARE(invitation->font().pointSizeF(), 12.0);
    QCOMPARE(p->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(p->windowFlags() & Qt::WindowStaysOnTopHint);
    // A window of its own (a tool window would be transient for the program,
    // and hidden with it where the window manager hides an inactive
    // program's tool windows) that never takes the keyboard.
    QCOMPARE(p->windowType(), Qt::Window);
    QVERIFY(p->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    QVERIFY(p->testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(p->sequence(), 1);
    QCOMPARE(p->bulletin().group, QStringLiteral("澜策公司"));
    const qreal dpi = p->screen()->logicalDotsPerInchX();
    QCOMPARE(p->size(), QSize(twipsToPx(3450, dpi), twipsToPx(1530, dpi)));
    QTRY_COMPARE(p->frameGeometry().topLeft(),
                 BulletinPopup::bottomRightPlace(p->screen()->geometry(), p->frameGeometry().size(), dpi));
    // A screen reader is told of an alert named by the title, with its
    // labels inside it, and of the main window as a frame.
    auto iface = [](QObject *o) { return QAccessible::queryAccessibleInterface(o); };
    auto name = [&](QObject *o) { return iface(o)->text(QAccessible::Name); };
    QCOMPARE(iface(p)->role(), QAccessible::AlertMessage);
    QCOMPARE(name(p), QStringLiteral("<b>粗体</b>"));
    QVERIFY(iface(p)->text(QAccessible::Description).contains(QStringLiteral("有新信息，请注意查看！")));
    QVERIFY(p->rect().contains(title->geometry()) && p->rect().contains(invitation->geometry()));
    QCOMPARE(iface(&w)->role(), QAccessible::Window);
    // Of the application's windows a reader sees those on screen: the
    // pop-up, not the main window in the tray nor the engine's offscreen one.
    QAccessibleInterface *application = iface(qApp);
    QCOMPARE(application->childCount(), 1);
    QCOMPARE(application->child(0)->object(), p);
    w.show();
    QTRY_COMPARE(application->childCount(), 2);
    QCOMPARE(application->indexOfChild(iface(&w)) >= 0, true);
    QCOMPARE(name(title), QStringLiteral("<b>粗体</b>"));
    QCOMPARE(name(invitation), QStringLiteral("有新信息，请点击查看！"));
    for (QWidget *c : {static_cast<QWidget *>(box(w, "reminderBox")), static_cast<QWidget *>(box(w, "soundBox")),
                       static_cast<QWidget *>(box(w, "rememberLoginBox")), static_cast<QWidget *>(button(w, "quitButton")),
                       static_cast<QWidget *>(lineButton(w, 1))})
        QVERIFY2(!name(c).isEmpty() && name(c) == c->property("text").toString(), qPrintable(name(c)));
    // The tooltip too shows the server's text as it is, even markup without
    // a closing ">" that no filter of the reply stops. Rendered as a tooltip
    // label renders it: rich text when it looks like markup.
    for (const QString &text : {QStringLiteral("<b>粗体</b>"), QStringLiteral("<img src=\"/tmp/x.png\" width=300")}) {
        BulletinPopup q(w, {1, QStringLiteral("澜策公司"), text, fx.session.serverBase() + "/nc/show.asp?id=9", {}}, 9, 60000);
        QTextDocument shown;
        if (Qt::mightBeRichText(q.toolTip()))
            shown.setHtml(q.toolTip());
        else
            shown.setPlainText(q.toolTip());
        QCOMPARE(shown.toPlainText(), QStringLiteral("澜策公司：") + text);
    }
    // No other window of the program bears the pop-up's caption.
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top != p)
            QVERIFY(top->windowTitle() != BulletinPopup::kCaption);
}

void TstPopup::threePopupsAtMost()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    fx.start(prog, InTray);
    for (int i = 1; i <= 5; ++i)
        prog.alerts().announce({0, "g", QStringLiteral("title %1").arg(i), "http://x/", {}});
    QCOMPARE(popupIndexes(), QList<int>({3, 4, 5}));
    QCOMPARE(prog.alerts().popupCount(), 5);

    // One the user closed is simply not there any more; the next still
    // closes only what is older than the two before it.
    for (BulletinPopup *p : popups())
        if (p->sequence() == 4)
            p->close();
    prog.alerts().announce({0, "g", "six", "http://x/", {}});
    QCOMPARE(popupIndexes(), QList<int>({5, 6}));
}

void TstPopup::minimiseRule()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown);
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Active: left as it is.
    w.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &w);
    prog.alerts().announce({0, "g", "a", "http://x/", {}});
    QVERIFY(!w.isMinimized());

    // Visible but another window has the focus: minimised.
    QWidget other;
    bringToFront(other);
    prog.alerts().announce({0, "g", "b", "http://x/", {}});
    QTRY_VERIFY(w.isMinimized());

    // Hidden in the tray: stays hidden.
    w.hide();
    prog.alerts().announce({0, "g", "c", "http://x/", {}});
    QVERIFY(w.isHidden());
}

void TstPopup::clickOpensTheBulletinInTheFourthFrame()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, InTray, Loaded);
    w.showMinimized();
    const QString url = fx.session.serverBase() + "/nc/show.asp?id=4242";
    prog.alerts().announce({0, "g", "t", url, {}});
    BulletinPopup *p = popups().first();
    QPointer<BulletinPopup> guard(p);
    fx.sim.clearRequests();

    // A click on the empty part of the window does nothing.
    QTest::mouseClick(p, Qt::LeftButton, {}, QPoint(p->width() - 2, p->height() - 2));
    QTest::qWait(100);
    QVERIFY(guard);
    QVERIFY(fx.sim.requests("/nc/show.asp").isEmpty());

    clickTitle(testkit::child<QLabel>(p, "invitationLabel"));
    QTRY_VERIFY(!guard);
    QTRY_COMPARE(fx.sim.requests("/nc/show.asp").size(), 1);
    QCOMPARE(fx.sim.requests("/nc/show.asp").first().query.queryItemValue("id"), QStringLiteral("4242"));
    QTRY_COMPARE(testkit::runJs(w.page(), "window.frames[3].location.href").toString(), url);
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());
    QVERIFY(testkit::messageBoxes().isEmpty());
}

void TstPopup::clickWithoutAFourthFrameSaysSoOnce()
{
    Fixture fx;
    fx.sim.setFrameCount(3);
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, InTray, Loaded);
    w.hide();
    prog.alerts().announce({0, "g", "t", fx.session.serverBase() + "/nc/show.asp?id=1", {}});
    QPointer<BulletinPopup> p = popups().first();
    clickTitle(testkit::child<QLabel>(p, "titleLabel"));
    QTRY_COMPARE(testkit::messageBoxes(kMainNotLoadedText).size(), 1);
    QCOMPARE(testkit::messageBoxes().first()->windowTitle(), lckb::kAppTitle);
    // The rest waits for the message to be answered.
    QVERIFY(p);
    QVERIFY(w.isHidden());
    // A second click meanwhile does not say it twice.
    if (p)
        p->open();
    QTest::qWait(100);
    QCOMPARE(testkit::messageBoxes(kMainNotLoadedText).size(), 1);
    QVERIFY(testkit::answer(kMainNotLoadedText, QMessageBox::Ok));
    QTRY_VERIFY(!p);
    QVERIFY(w.isVisible());
    QVERIFY(fx.sim.requests("/nc/show.asp").isEmpty());
}

void TstPopup::clickWhileLoadingTouchesNoFrame()
{
    Fixture fx;
    fx.sim.setMainPageDelay(60000);
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, InTray);
    w.showMinimized();
    QTest::qWait(200);
    QVERIFY(!w.pageComplete());
    prog.alerts().announce({0, "g", "t", fx.session.serverBase() + "/nc/show.asp?id=1", {}});
    QPointer<BulletinPopup> p = popups().first();
    clickTitle(testkit::child<QLabel>(p, "titleLabel"));
    QTRY_VERIFY(!p);
    QVERIFY(!w.isMinimized());
    QVERIFY(testkit::messageBoxes().isEmpty());
    QVERIFY(fx.sim.requests("/nc/show.asp").isEmpty());
    w.page()->triggerAction(QWebEnginePage::Stop);
}

void TstPopup::thirdTickCloses()
{
    Fixture fx;
    fx.session.intervals.popupTick = 400;
    Program prog(fx.session, &fx.player);
    fx.start(prog, InTray);
    prog.alerts().announce({0, "g", "t", "http://x/", {}});
    QPointer<BulletinPopup> p = popups().first();
    QTest::qWait(900); // two ticks and a quarter
    QVERIFY(p && p->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!p, 2000);
    QCOMPARE(prog.alerts().openPopupSequences(), QList<int>());

    // Time the process did not run (a sleep) does not count: a pop-up that
    // was one tick from closing is still there on waking, then closes.
    prog.alerts().announce({1, "g", "t2", "http://x/2", {}});
    p = popups().first();
    QTest::qWait(900);
    QThread::msleep(1200); // stopped for three ticks
    QCoreApplication::processEvents();
    QTest::qWait(20);
    QVERIFY(p && p->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!p, 3000);
}

QTEST_MAIN(TstPopup)
#include "tst_mainwin_popup.moc"
