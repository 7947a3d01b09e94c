// The remembered login and the server line: the preferences as the main
// window loads and saves them, the save-password form, the periodic login
// fill, and the line switch, against the simulator's pages.
#include "browser.h"
#include "channeldialog.h"
#include "dialog1.h"
#include "files.h"
#include "fixture.h"
#include "form1.h"
#include "form3.h"
#include "loginfill.h"
#include "testkit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QWebEngineView>

using namespace lckb;

namespace {
QString loginValue(Form1 &w, const char *id)
{
    return testkit::frameValue(w.page(), 3, QString::fromLatin1(id));
}
Form3 *openForm3()
{
    for (QWidget *t : QApplication::topLevelWidgets())
        if (auto *f = qobject_cast<Form3 *>(t))
            if (f->isVisible())
                return f;
    return nullptr;
}
} // namespace

class TstLogin : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (QMessageBox *b : testkit::messageBoxes())
            b->close();
        if (Form3 *f = openForm3())
            f->close();
        QTest::qWait(20);
    }
    void storedPreferencesLoadQuietly();
    void boxesOpenTheirWindows();
    void fillTypesTheLoginOnlyWhereItBelongs();
    void fillCarriesAnyTextVerbatim();
    void savePasswordForm();
    void lineSwitch();
    void everythingSurvivesARestart();
};

void TstLogin::storedPreferencesLoadQuietly()
{
    Fixture fx;
    fx.write("config", "Check1", "0");
    fx.write("config", "Check2", "1");
    fx.write("config", "shengyin", "0");
    fx.write("config", "jgjy", "1");
    fx.write("mima", "mima", "1");
    fx.write("mima", "user", "u");
    fx.write("mima", "pass", "p");
    const QByteArray before = testkit::readFile(fx.ini());

    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    QVERIFY(!w.Check1->isChecked());
    QVERIFY(w.Check2->isChecked());
    QVERIFY(!w.shengyin->isChecked());
    QVERIFY(w.mima->isChecked());
    // Loading opened nothing and left the login as stored.
    QVERIFY(!openForm3());
    QVERIFY(!w.channels().exists() || !w.channels().touch()->isVisible());
    QCOMPARE(fx.session.strUser, QStringLiteral("u"));
    QCOMPARE(testkit::readFile(fx.ini()), before);
    QVERIFY(w.channelOn(5)); // jgjy
}

void TstLogin::boxesOpenTheirWindows()
{
    Fixture fx;
    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    w.show();

    // The reminder switch: off writes 0, on writes 1 and shows the channel dialog.
    QTest::mouseClick(w.Check1, Qt::LeftButton, {}, QPoint(5, w.Check1->height() / 2));
    QCOMPARE(fx.read("config", "Check1"), QStringLiteral("0"));
    QVERIFY(!w.channels().exists() || !w.channels().touch()->isVisible());
    QTest::mouseClick(w.Check1, Qt::LeftButton, {}, QPoint(5, w.Check1->height() / 2));
    QCOMPARE(fx.read("config", "Check1"), QStringLiteral("1"));
    QVERIFY(w.channels().exists());
    QVERIFY(w.channels().touch()->isVisible());

    // The sound switch writes its key.
    w.shengyin->click();
    QCOMPARE(fx.read("config", "shengyin"), QStringLiteral("0"));

    // Remember the login: checking opens the form and stores 1 at once.
    w.mima->click();
    QCOMPARE(fx.read("mima", "mima"), QStringLiteral("1"));
    QVERIFY(openForm3());
    openForm3()->close();
    QTRY_VERIFY(!openForm3());
    // Unchecking forgets the login, in the file and in memory.
    fx.session.strUser = "u";
    fx.session.strPass = "p";
    fx.write("mima", "user", "u");
    fx.write("mima", "pass", "p");
    w.mima->click();
    QCOMPARE(fx.read("mima", "mima"), QStringLiteral("0"));
    QVERIFY(fx.session.strUser.isEmpty() && fx.session.strPass.isEmpty());
    const QByteArray bytes = testkit::readFile(fx.ini());
    QVERIFY(bytes.contains("user=\r\n"));
    QVERIFY(bytes.contains("pass=\r\n"));
}

void TstLogin::fillTypesTheLoginOnlyWhereItBelongs()
{
    for (int frames : {4, 3, 5}) {
        Fixture fx;
        fx.sim.setFrameCount(frames);
        fx.write("mima", "mima", "1");
        fx.write("mima", "user", QStringLiteral("张三"));
        fx.write("mima", "pass", "secret");
        Form1 w(fx.session, &fx.player);
        QSignalSpy fills(&w, &Form1::loginFilled);
        w.Form_Load();
        QTRY_VERIFY_WITH_TIMEOUT(w.pageComplete(), 20000);
        QTRY_VERIFY(fills.count() >= 1);
        const auto r = fills.last().at(0).value<LoginFillResult>();
        QCOMPARE(r.frames, frames);
        if (frames == 4) {
            QVERIFY(r.ok);
            QCOMPARE(r.set, 2);
            QCOMPARE(loginValue(w, "userName"), QStringLiteral("张三"));
            QCOMPARE(loginValue(w, "userPassword"), QStringLiteral("secret"));
            // The traps: a hidden "UserName" and a text "username".
            QCOMPARE(loginValue(w, "trapHidden"), QString());
            QCOMPARE(loginValue(w, "trapLower"), QString());
            // The fill keeps the remembered values in place of what is typed.
            testkit::runJs(w.page(), "window.frames[3].document.getElementById('userName').value='typed'");
            QTRY_COMPARE(loginValue(w, "userName"), QStringLiteral("张三"));
            // It never submits.
            QVERIFY(fx.sim.requests("/nc/login.asp").size() == 1);
            QCOMPARE(fx.sim.requests("/nc/login.asp").first().method, QByteArray("GET"));

            // A frame's script moves the top page to another site with the same
            // frames and inputs: that page gets nothing, neither from the timer
            // nor from the routine run there directly.
            sim::BulletinServer other;
            QVERIFY(other.listen({0}));
            const QString otherMain = other.baseUrl(0) + QLatin1String(kMainPagePath);
            testkit::runJs(w.page(), QStringLiteral("window.frames[0].top.location = '%1'").arg(otherMain));
            QTRY_COMPARE_WITH_TIMEOUT(w.page()->url().toString(), otherMain, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(w.pageComplete() && other.requests("/nc/login.asp").size() == 1, 20000);
            const int before = fills.count();
            QTRY_VERIFY(fills.count() >= before + 3);
            QCOMPARE(fills.last().at(0).value<LoginFillResult>().set, 0);
            const QString lineOrigin = webOrigin(QUrl(fx.session.serverBase()));
            const QVariantMap direct = testkit::runJs(w.page(), loginFillScript("u", "p", lineOrigin)).toMap();
            QCOMPARE(direct.value("ok").toBool(), false);
            QCOMPARE(direct.value("err").toString(), QStringLiteral("origin"));
            QCOMPARE(loginValue(w, "userName"), QString());
            QCOMPARE(loginValue(w, "userPassword"), QString());
            // Back on the service page, the fill resumes.
            testkit::runJs(w.page(), "history.back()");
            QTRY_COMPARE_WITH_TIMEOUT(loginValue(w, "userPassword"), QStringLiteral("secret"), 20000);

            // Remember box cleared: the fill does nothing.
            w.mima->click();
            testkit::runJs(w.page(), "window.frames[3].document.getElementById('userName').value='typed'");
            QTest::qWait(400);
            QCOMPARE(loginValue(w, "userName"), QStringLiteral("typed"));
        } else {
            // Another frame layout is left alone.
            QVERIFY(!r.ok);
            QCOMPARE(r.set, 0);
        }
    }
}

void TstLogin::fillCarriesAnyTextVerbatim()
{
    Fixture fx;
    fx.write("mima", "mima", "1");
    Form1 w(fx.session, &fx.player);
    fx.load(w, false);
    testkit::runJs(w.page(), "window.pwned = 0");
    const QString nasty = QStringLiteral("a'b\"c\\d\ne</script><script>window.pwned=1</script>\u2028${x}`); window.pwned=1; //");
    fx.session.strUser = nasty;
    fx.session.strPass = nasty + "2";
    QSignalSpy fills(&w, &Form1::loginFilled);
    QTRY_VERIFY(fills.count() >= 1);
    // An input drops line breaks by its own rules; everything else arrives as typed.
    QString expected = nasty;
    expected.remove(u'\n');
    QCOMPARE(loginValue(w, "userName"), expected);
    QCOMPARE(loginValue(w, "userPassword"), expected + "2");
    QCOMPARE(testkit::runJs(w.page(), "window.pwned").toInt(), 0);
}

void TstLogin::savePasswordForm()
{
    // Empty boxes: refused, nothing stored, the form stays.
    {
        Fixture fx;
        Form1 w(fx.session, &fx.player);
        w.Form_Load();
        w.showSavePasswordForm();
        Form3 *f = openForm3();
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("保存密码"));
        QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(f->Text2->echoMode(), QLineEdit::Normal);
        f->Text1->setText("u");
        f->Command1->click();
        QCOMPARE(testkit::messageBoxes(Form3::kEmptyText).size(), 1);
        QVERIFY(testkit::answer(Form3::kEmptyText, QMessageBox::Ok));
        QCOMPARE(fx.read("mima", "user"), QString());
        QVERIFY(fx.session.strUser.isEmpty());
        QVERIFY(openForm3());
        // Blanks are text.
        f->Text2->setText(" ");
        f->Command1->click();
        QVERIFY(testkit::answer(Form3::kSavedText, QMessageBox::Ok));
        QCOMPARE(fx.session.strPass, QStringLiteral(" "));
        QCOMPARE(fx.read("mima", "pass"), QStringLiteral(" "));
    }
    // Four frames: saved, typed in, closed.
    {
        Fixture fx;
        Form1 w(fx.session, &fx.player);
        fx.load(w, false);
        w.showSavePasswordForm();
        QPointer<Form3> f = openForm3();
        QSignalSpy filled(f.data(), &Form3::fillDone);
        f->Text1->setText(QStringLiteral("李四"));
        f->Text2->setText("pw 2");
        f->Command1->click();
        QCOMPARE(fx.session.strUser, QStringLiteral("李四"));
        QCOMPARE(fx.read("mima", "user"), QStringLiteral("李四"));
        QCOMPARE(fx.read("mima", "pass"), QStringLiteral("pw 2"));
        // Nothing is typed in before the message is answered.
        QTest::qWait(200);
        QCOMPARE(loginValue(w, "userName"), QString());
        QVERIFY(testkit::answer(Form3::kSavedText, QMessageBox::Ok));
        QTRY_VERIFY(!f);
        QCOMPARE(filled.count(), 1);
        QCOMPARE(loginValue(w, "userName"), QStringLiteral("李四"));
        QCOMPARE(loginValue(w, "userPassword"), QStringLiteral("pw 2"));
        QCOMPARE(loginValue(w, "trapHidden"), QString());
        // Opened again, it shows the remembered login, readable.
        w.showSavePasswordForm();
        QCOMPARE(openForm3()->Text1->text(), QStringLiteral("李四"));
        QCOMPARE(openForm3()->Text2->text(), QStringLiteral("pw 2"));
    }
    // Still loading: saved, nothing typed, closed.
    {
        Fixture fx;
        fx.sim.setMainPageDelay(60000);
        Form1 w(fx.session, &fx.player);
        w.Form_Load();
        w.showSavePasswordForm();
        QPointer<Form3> f = openForm3();
        f->Text1->setText("u");
        f->Text2->setText("p");
        f->Command1->click();
        QVERIFY(testkit::answer(Form3::kSavedText, QMessageBox::Ok));
        QTRY_VERIFY(!f);
        QCOMPARE(fx.read("mima", "user"), QStringLiteral("u"));
        w.page()->triggerAction(QWebEnginePage::Stop);
    }
    // Three frames: saved, nothing typed, the form stays for the user to close.
    {
        Fixture fx;
        fx.sim.setFrameCount(3);
        Form1 w(fx.session, &fx.player);
        fx.load(w, false);
        w.showSavePasswordForm();
        QPointer<Form3> f = openForm3();
        QSignalSpy filled(f.data(), &Form3::fillDone);
        f->Text1->setText("u");
        f->Text2->setText("p");
        f->Command1->click();
        QVERIFY(testkit::answer(Form3::kSavedText, QMessageBox::Ok));
        QTRY_COMPARE(filled.count(), 1);
        QCOMPARE(filled.first().at(0).toInt(), 3);
        QTest::qWait(100);
        QVERIFY(f && f->isVisible());
        QCOMPARE(fx.read("mima", "pass"), QStringLiteral("p"));
    }
}

void TstLogin::lineSwitch()
{
    Fixture fx;
    Form1 w(fx.session, &fx.player);
    fx.load(w);
    QCOMPARE(fx.pageRequests(0), 1);

    // Cancel: nothing written, the page stays, the line in use stays selected.
    w.Option1[1]->click();
    QCOMPARE(testkit::messageBoxes(Form1::kSwitchLineQuestion).size(), 1);
    QMessageBox *q = testkit::messageBoxes().first();
    QCOMPARE(q->windowTitle(), QStringLiteral("提醒"));
    QCOMPARE(q->icon(), QMessageBox::Question);
    QVERIFY(testkit::answer(Form1::kSwitchLineQuestion, QMessageBox::Cancel));
    QVERIFY(w.Option1[0]->isChecked());
    QCOMPARE(fx.read("config", "xianlu"), QString());
    QCOMPARE(fx.session.LineIndex, 0);
    QTest::qWait(200);
    QCOMPARE(fx.pageRequests(1), 0);

    // OK: the line is stored and the page comes from the new line.
    w.Option1[2]->click();
    QVERIFY(testkit::answer(Form1::kSwitchLineQuestion, QMessageBox::Ok));
    QCOMPARE(fx.read("config", "xianlu"), QStringLiteral("2"));
    QCOMPARE(fx.session.LineIndex, 2);
    QTRY_COMPARE(fx.pageRequests(2), 1);
    QTRY_VERIFY(w.pageComplete());
    QCOMPARE(w.WebBrowser1->url().toString(), fx.session.ServerLine[2] + "/nc/i88-61.asp");
    // The next poll asks the new line.
    QVERIFY(w.poll().requestUrl().startsWith(fx.session.ServerLine[2] + "/nc/tx.asp?s="));
}

void TstLogin::everythingSurvivesARestart()
{
    Fixture fx;
    {
        Form1 w(fx.session, &fx.player);
        fx.load(w);
        w.shengyin->click();
        w.Check1->click();
        w.mima->click();
        QPointer<Form3> f = openForm3();
        QVERIFY(f);
        f->Text1->setText(QStringLiteral("王五"));
        f->Text2->setText("pw");
        f->Command1->click();
        QVERIFY(testkit::answer(Form3::kSavedText, QMessageBox::Ok));
        QTRY_VERIFY(!f);
        w.channels().touch()->jgjy->click();
        w.Option1[3]->click();
        QVERIFY(testkit::answer(Form1::kSwitchLineQuestion, QMessageBox::Ok));
    }
    // A new run in the same program folder, started as the entry procedure does.
    Session again = fx.session;
    again.strUser.clear();
    again.strPass.clear();
    again.LineIndex = storedLineIndex(again.iniPath());
    QCOMPARE(again.LineIndex, 3);
    Form1 w(again, &fx.player);
    w.Form_Load();
    QVERIFY(w.Option1[3]->isChecked());
    QVERIFY(!w.shengyin->isChecked());
    QVERIFY(!w.Check1->isChecked());
    QVERIFY(w.mima->isChecked());
    QVERIFY(!openForm3());
    QCOMPARE(again.strUser, QStringLiteral("王五"));
    QCOMPARE(again.strPass, QStringLiteral("pw"));
    QVERIFY(w.channelOn(5)); // jgjy
    QVERIFY(!w.channels().touch()->isVisible());
}

QTEST_MAIN(TstLogin)
#include "tst_mainwin_login.moc"
