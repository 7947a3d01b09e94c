// The program's windows as the window system holds them, on a private X
// server with a window manager: their titles exactly as designed.
#include "appicon.h"
#include "channeldialog.h"
#include "dialog1.h"
#include "fixture.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
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
    Form1 w(fx.session, &fx.player);
    fx.load(w);
    QTRY_COMPARE(XServer::title(&w), QStringLiteral("澜策快报 LC6.1.1"));

    w.ShowMsn(QStringLiteral("澜策公司"), QStringLiteral("标题"), fx.session.serverBase() + "/nc/show.asp?id=1");
    QTRY_COMPARE(testkit::popups().size(), 1);
    Form2 *popup = testkit::popups().first();
    QTRY_COMPARE(XServer::title(popup), QStringLiteral("有新信息，请注意查看！"));

    w.channels().show();
    QTRY_COMPARE(XServer::title(w.channels().touch()), QStringLiteral("右下角提醒，详细设置"));

    w.showSavePasswordForm();
    Form3 *form = w.savePasswordForm();
    QVERIFY(form);
    QTRY_COMPARE(XServer::title(form), QStringLiteral("保存密码"));

    Form4 browser;
    browser.show();
    QTRY_COMPARE(XServer::title(&browser), QStringLiteral("首席澜策          提示：全屏查看效果更佳"));

    // The boxes: a question of the program's own titled "提醒", the others
    // with the program's title.
    w.Option1[2]->click();
    QTRY_COMPARE(testkit::messageBoxes(Form1::kSwitchLineQuestion).size(), 1);
    QTRY_COMPARE(XServer::title(testkit::messageBoxes(Form1::kSwitchLineQuestion).first()), QStringLiteral("提醒"));
    QVERIFY(testkit::answer(Form1::kSwitchLineQuestion, QMessageBox::Cancel));

    form->Command1->click(); // both boxes empty
    QTRY_COMPARE(testkit::messageBoxes(Form3::kEmptyText).size(), 1);
    QTRY_COMPARE(XServer::title(testkit::messageBoxes(Form3::kEmptyText).first()), QStringLiteral("澜策快报 LC6.1"));
    QVERIFY(testkit::answer(Form3::kEmptyText, QMessageBox::Ok));

    popup->Click(); // three frames: the main page did not load as it should
    QTRY_COMPARE(testkit::messageBoxes(Form2::kMainNotLoadedText).size(), 1);
    QTRY_COMPARE(XServer::title(testkit::messageBoxes(Form2::kMainNotLoadedText).first()),
                 QStringLiteral("澜策快报 LC6.1"));
    QVERIFY(testkit::answer(Form2::kMainNotLoadedText, QMessageBox::Ok));
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
