// The program's windows as the window system holds them, on a private X
// server with a window manager: their titles exactly as designed.
#include "prefs/appicon.h"
#include "prefs/channeldialog.h"
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

using namespace lckb;
using testkit::XServer;

class TstDesktop : public QObject
{
    Q_OBJECT
private slots:
    void titlesAreExactlyTheCaptions();
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
