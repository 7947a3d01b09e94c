// The program's windows as the window system holds them, on a private X
// server with a window manager: their titles exactly as designed, their
// frames and buttons, and where the pop-up lands.
#include "prefs/appicon.h"
#include "prefs/channeldialog.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "windows/bulletinpopup.h"
#include "windows/saveloginform.h"
#include "windows/browserwindow.h"
#include "testkit.h"
#include "xserver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

using namespace lckb;
using testkit::XServer;

class TstDesktop : public QObject
{
    Q_OBJECT
private slots:
    void titlesAreExactlyTheCaptions();
    void framesAndButtonsAsDesigned();
};

void TstDesktop::titlesAreExactlyTheCaptions()
{
    Fixture fx;
    fx.sim.setFrameCount(3); // so a pop-up's click has something to say
    MainWindow w(fx.session, &fx.player);
    fx.load(w);
    QTRY_COMPARE(XServer::title(&w), QStringLiteral("澜策快报 LC6.1.1"));

    w.alerts().announce(QStringLiteral("澜策公司"), QStringLiteral("标题"), fx.session.serverBase() + "/nc/show.asp?id=1");
    QTRY_COMPARE(testkit::popups().size(), 1);
    BulletinPopup *popup = testkit::popups().first();
    QTRY_COMPARE(XServer::title(popup), QStringLiteral("有新信息，请注意查看！"));

    w.choiceBoxes().showChannelDialog();
    QTRY_COMPARE(XServer::title(w.choiceBoxes().channelDialog()), QStringLiteral("右下角提醒，详细设置"));

    w.showSaveLoginForm();
    SaveLoginForm *form = w.saveLoginForm();
    QVERIFY(form);
    QTRY_COMPARE(XServer::title(form), QStringLiteral("保存密码"));

    BrowserWindow browser;
    browser.show();
    QTRY_COMPARE(XServer::title(&browser), QStringLiteral("首席澜策          提示：全屏查看效果更佳"));

    // The boxes: a question of the program's own titled "提醒", the others
    // with the program's title.
    lineButton(w, 2)->click();
    QTRY_COMPARE(testkit::messageBoxes(LineSwitch::kQuestion).size(), 1);
    QTRY_COMPARE(XServer::title(testkit::messageBoxes(LineSwitch::kQuestion).first()), QStringLiteral("提醒"));
    QVERIFY(testkit::answer(LineSwitch::kQuestion, QMessageBox::Cancel));

    testkit::child<QPushButton>(form, "saveButton")->click(); // both boxes empty
    QTRY_COMPARE(testkit::messageBoxes(SaveLoginForm::kEmptyText).size(), 1);
    QTRY_COMPARE(XServer::title(testkit::messageBoxes(SaveLoginForm::kEmptyText).first()), QStringLiteral("澜策快报 LC6.1"));
    QVERIFY(testkit::answer(SaveLoginForm::kEmptyText, QMessageBox::Ok));

    popup->open(); // three frames: the main page did not load as it should
    QTRY_COMPARE(testkit::messageBoxes(BulletinPopup::kMainNotLoadedText).size(), 1);
    QTRY_COMPARE(XServer::title(testkit::messageBoxes(BulletinPopup::kMainNotLoadedText).first()),
                 QStringLiteral("澜策快报 LC6.1"));
    QVERIFY(testkit::answer(BulletinPopup::kMainNotLoadedText, QMessageBox::Ok));
    testkit::deletePopups();
}

void TstDesktop::framesAndButtonsAsDesigned()
{
    Fixture fx;
    MainWindow w(fx.session, &fx.player);
    fx.load(w);
    w.alerts().announce(QStringLiteral("澜策公司"), QStringLiteral("标题"), fx.session.serverBase() + "/nc/show.asp?id=1");
    QTRY_COMPARE(testkit::popups().size(), 1);
    BulletinPopup *popup = testkit::popups().first();
    w.choiceBoxes().showChannelDialog();
    ChannelDialog *dialog = w.choiceBoxes().channelDialog();
    QVERIFY(dialog);
    BrowserWindow browser;
    browser.show();

    const auto has = [](const QWidget *win, const char *prop, const char *value) {
        return XServer::property(win, prop).split(QStringLiteral(", ")).contains(QLatin1String(value));
    };
    // The pop-up and the channel dialog belong to the main window: a fixed
    // border, the close button only, no entry in the task bar. Openbox keeps
    // the iconify and maximise buttons on any window but menus and toolbars,
    // so there they say toolbar first; other window managers read utility.
    for (QWidget *side : {static_cast<QWidget *>(popup), static_cast<QWidget *>(dialog)}) {
        QTRY_VERIFY(has(side, "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_CLOSE"));
        QCOMPARE(XServer::property(side, "_NET_WM_WINDOW_TYPE"),
                 QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLBAR, _NET_WM_WINDOW_TYPE_UTILITY"));
        QVERIFY(has(side, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR"));
        QVERIFY(has(side, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_PAGER"));
        QVERIFY(has(side, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"));
        // Functions move and close; decorations border and title.
        QCOMPARE(XServer::property(side, "_MOTIF_WM_HINTS"), QStringLiteral("0x3, 0x24, 0xa, 0x0, 0x0"));
        QVERIFY(has(side, "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_MOVE"));
        for (const char *no : {"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ",
                               "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_FULLSCREEN"})
            QVERIFY2(!has(side, "_NET_WM_ALLOWED_ACTIONS", no), no);
    }
    // The pop-up is transient for no window, so that no window manager hides
    // it with the tool windows of a program that is not active; the dialog
    // belongs to the main window.
    QVERIFY(XServer::property(popup, "WM_TRANSIENT_FOR").isEmpty());
    QVERIFY(!XServer::property(dialog, "WM_TRANSIENT_FOR").isEmpty());
    // The secondary browser is a window of its own: sizable, minimise and
    // maximise, in the task bar.
    QTRY_VERIFY(has(&browser, "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_RESIZE"));
    QCOMPARE(XServer::property(&browser, "_NET_WM_WINDOW_TYPE"), QStringLiteral("_NET_WM_WINDOW_TYPE_NORMAL"));
    QVERIFY(!has(&browser, "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR"));
    for (const char *yes : {"_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT",
                            "_NET_WM_ACTION_CLOSE"})
        QVERIFY2(has(&browser, "_NET_WM_ALLOWED_ACTIONS", yes), yes);
    const QStringList motif = XServer::property(&browser, "_MOTIF_WM_HINTS").split(QStringLiteral(", "));
    QCOMPARE(motif.size(), 5);
    QCOMPARE(motif.at(1).toUInt(nullptr, 16) & 0x18, 0x18u); // minimise and maximise functions

    // Desktop entries find the windows by their class, whatever the
    // application's (Chinese) name.
    for (QWidget *win : {static_cast<QWidget *>(popup), static_cast<QWidget *>(&browser), static_cast<QWidget *>(&w)})
        QCOMPARE(XServer::property(win, "WM_CLASS"), QStringLiteral("\"tst_mainwin_desktop\", \"lckb\""));

    // The pop-up's frame 50 twips from the right edge, 500 twips above the
    // bottom, as the window manager framed it.
    const QScreen *screen = QGuiApplication::primaryScreen();
    QTRY_VERIFY(XServer::outerGeometry(popup).size() != popup->size()); // framed
    const QRect outer = XServer::outerGeometry(popup);
    QTRY_COMPARE(XServer::outerGeometry(popup).topLeft(),
                 BulletinPopup::bottomRightPlace(screen->geometry(), outer.size(), screen->logicalDotsPerInchX()));
    testkit::deletePopups();
}

int main(int argc, char *argv[])
{
    XServer x;
    if (!x.ok()) {
        qCritical("no X server could be started");
        return 1;
    }
    QApplication app(argc, argv);
    setUpApplication(); // as the program sets itself up
    TstDesktop t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_mainwin_desktop.moc"
