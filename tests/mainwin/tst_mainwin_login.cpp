// The remembered login and the server line: the preferences as the main
// window loads and saves them, the save-password form, the periodic login
// fill, and the line switch, against the simulator's pages.
#include "windows/browser.h"
#include "prefs/channeldialog.h"
#include "prefs/channeldialog.h"
#include "files.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "windows/saveloginform.h"
#include "windows/pagescripts.h"
#include "testkit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QWebEngineView>

using namespace lckb;

namespace {
QString loginValue(MainWindow &w, const char *id)
{
    return testkit::frameValue(w.page(), 3, QString::fromLatin1(id));
}
SaveLoginForm *openSaveLoginForm()
{
    for (QWidget *t : QApplication::topLevelWidgets())
        if (auto *f = qobject_cast<SaveLoginForm *>(t))
            if (f->isVisible())
                return f;
    return nullptr;
}
// Types a login into the form and presses its save button.
void typeLogin(SaveLoginForm *f, const QString &user, const QString &pass)
{
    testkit::child<QLineEdit>(f, "userEdit")->setText(user);
    testkit::child<QLineEdit>(f, "passwordEdit")->setText(pass);
    testkit::child<QPushButton>(f, "saveButton")->click();
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
        if (SaveLoginForm *f = openSaveLoginForm())
            f->close();
        QTest::qWait(20);
    }
    void storedPreferencesLoadQuietly();
    void boxesOpenTheirWindows();
    void fillTypesTheLoginOnlyWhereItBelongs();
    void fillCarriesAnyTextVerbatim();
    void saveLoginForm();
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
    fx.rememberLogin("u", "p");
    const QByteArray before = testkit::readFile(fx.ini());

    Program prog(fx.session, &fx.player);

    MainWindow &w = fx.start(prog, InTray);
    QVERIFY(!box(w, "reminderBox")->isChecked());
    QVERIFY(box(w, "seriesBox")->isChecked());
    QVERIFY(!box(w, "soundBox")->isChecked());
    QVERIFY(box(w, "rememberLoginBox")->isChecked());
    // Loading opened nothing and left the login as stored.
    QVERIFY(!openSaveLoginForm());
    QVERIFY(!w.choiceBoxes().channelDialog());
    QCOMPARE(fx.session.choices.user(), QStringLiteral("u"));
    QCOMPARE(testkit::readFile(fx.ini()), before);
    QVERIFY(fx.session.choices.channelOn(5)); // jgjy
}

void TstLogin::boxesOpenTheirWindows()
{
    Fixture fx;
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown);

    // The reminder switch: off writes 0, on writes 1 and shows the channel dialog.
    QTest::mouseClick(box(w, "reminderBox"), Qt::LeftButton, {}, QPoint(5, box(w, "reminderBox")->height() / 2));
    QCOMPARE(fx.read("config", "Check1"), QStringLiteral("0"));
    QVERIFY(!w.choiceBoxes().channelDialog());
    QTest::mouseClick(box(w, "reminderBox"), Qt::LeftButton, {}, QPoint(5, box(w, "reminderBox")->height() / 2));
    QCOMPARE(fx.read("config", "Check1"), QStringLiteral("1"));
    QVERIFY(w.choiceBoxes().channelDialog() && w.choiceBoxes().channelDialog()->isVisible());

    // The sound switch writes its key.
    box(w, "soundBox")->click();
    QCOMPARE(fx.read("config", "shengyin"), QStringLiteral("0"));

    // Remember the login: checking opens the form and stores 1 at once.
    box(w, "rememberLoginBox")->click();
    QCOMPARE(fx.read("mima", "mima"), QStringLiteral("1"));
    QVERIFY(openSaveLoginForm());
    openSaveLoginForm()->close();
    QTRY_VERIFY(!openSaveLoginForm());
    // Unchecking forgets the login, in the file and in memory.
    fx.session.choices.setLogin("u", "p");
    box(w, "rememberLoginBox")->click();
    QCOMPARE(fx.read("mima", "mima"), QStringLiteral("0"));
    QVERIFY(fx.session.choices.user().isEmpty() && fx.session.choices.pass().isEmpty());
    const QByteArray bytes = testkit::readFile(fx.ini());
    QVERIFY(bytes.contains("user=\r\n"));
    QVERIFY(bytes.contains("pass=\r\n"));
}

void TstLogin::fillTypesTheLoginOnlyWhereItBelongs()
{
    for (int frames : {4, 3, 5}) {
        Fixture fx;
        fx.sim.setFrameCount(frames);
        fx.rememberLogin(QStringLiteral("张三"), "secret");
        Program prog(fx.session, &fx.player);
        MainWindow &w = prog.window();
        QSignalSpy fills(&w, &MainWindow::loginFilled);
        fx.start(prog, InTray, Loaded);
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
            // At rest the fill skips the fields it filled, but a field added
            // beside them and the login frame loaded anew are filled too.
            testkit::runJs(w.page(), "var d = window.frames[3].document, e = d.createElement('input');"
                                     "e.type = 'password'; e.name = 'UserPassword'; e.id = 'late';"
                                     "d.getElementById('loginForm').appendChild(e)");
            QTRY_COMPARE(loginValue(w, "late"), QStringLiteral("secret"));
            testkit::runJs(w.page(), "window.frames[3].location.reload()");
            QTRY_VERIFY_WITH_TIMEOUT(loginValue(w, "late").startsWith("<error"), 20000);
            QTRY_COMPARE(loginValue(w, "userPassword"), QStringLiteral("secret"));
            QCOMPARE(loginValue(w, "userName"), QStringLiteral("张三"));

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
            QTest::qWait(5 * fx.session.intervals.loginFill);
            QCOMPARE(fills.count(), before); // given nothing, that page filled nothing
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
            box(w, "rememberLoginBox")->click();
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
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, InTray, Loaded);
    testkit::runJs(w.page(), "window.pwned = 0");
    const QString nasty = QStringLiteral("a'b\"c\\d\ne</script><script>window.pwned=1</script>\u2028${x}`); window.pwned=1; //");
    fx.session.choices.setLogin(nasty, nasty + "2"); // in memory: a line break is never stored
    QSignalSpy fills(&w, &MainWindow::loginFilled);
    QTRY_VERIFY(fills.count() >= 1);
    // An input drops line breaks by its own rules; everything else arrives as typed.
    QString expected = nasty;
    expected.remove(u'\n');
    QCOMPARE(loginValue(w, "userName"), expected);
    QCOMPARE(loginValue(w, "userPassword"), expected + "2");
    QCOMPARE(testkit::runJs(w.page(), "window.pwned").toInt(), 0);
}

void TstLogin::saveLoginForm()
{
    // Empty boxes: refused, nothing stored, the form stays.
    {
        Fixture fx;
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, InTray);
        w.showSaveLoginForm();
        SaveLoginForm *f = openSaveLoginForm();
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("保存密码"));
        QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(testkit::child<QLineEdit>(f, "passwordEdit")->echoMode(), QLineEdit::Normal);
        testkit::child<QLineEdit>(f, "userEdit")->setText("u");
        testkit::child<QPushButton>(f, "saveButton")->click();
        QCOMPARE(testkit::messageBoxes(SaveLoginForm::kEmptyText).size(), 1);
        QVERIFY(testkit::answer(SaveLoginForm::kEmptyText, QMessageBox::Ok));
        QCOMPARE(fx.read("mima", "user"), QString());
        QVERIFY(fx.session.choices.user().isEmpty());
        QVERIFY(openSaveLoginForm());
        // Blanks are text.
        testkit::child<QLineEdit>(f, "passwordEdit")->setText(" ");
        testkit::child<QPushButton>(f, "saveButton")->click();
        QVERIFY(testkit::answer(SaveLoginForm::kSavedText, QMessageBox::Ok));
        QCOMPARE(fx.session.choices.pass(), QStringLiteral(" "));
        QCOMPARE(fx.read("mima", "pass"), QStringLiteral(" "));
    }
    // Four frames: saved, typed in, closed.
    {
        Fixture fx;
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, InTray, Loaded);
        w.showSaveLoginForm();
        QPointer<SaveLoginForm> f = openSaveLoginForm();
        QSignalSpy filled(f.data(), &SaveLoginForm::fillDone);
        typeLogin(f, QStringLiteral("李四"), "pw 2");
        QCOMPARE(fx.session.choices.user(), QStringLiteral("李四"));
        QCOMPARE(fx.read("mima", "user"), QStringLiteral("李四"));
        QCOMPARE(fx.read("mima", "pass"), QStringLiteral("pw 2"));
        // Nothing is typed in before the message is answered.
        QTest::qWait(200);
        QCOMPARE(loginValue(w, "userName"), QString());
        QVERIFY(testkit::answer(SaveLoginForm::kSavedText, QMessageBox::Ok));
        QTRY_VERIFY(!f);
        QCOMPARE(filled.count(), 1);
        QCOMPARE(loginValue(w, "userName"), QStringLiteral("李四"));
        QCOMPARE(loginValue(w, "userPassword"), QStringLiteral("pw 2"));
        QCOMPARE(loginValue(w, "trapHidden"), QString());
        // Opened again, it shows the remembered login, readable.
        w.showSaveLoginForm();
        QCOMPARE(testkit::child<QLineEdit>(openSaveLoginForm(), "userEdit")->text(), QStringLiteral("李四"));
        QCOMPARE(testkit::child<QLineEdit>(openSaveLoginForm(), "passwordEdit")->text(), QStringLiteral("pw 2"));
    }
    // Still loading: saved, nothing typed, closed.
    {
        Fixture fx;
        fx.sim.setMainPageDelay(60000);
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, InTray);
        w.showSaveLoginForm();
        QPointer<SaveLoginForm> f = openSaveLoginForm();
        typeLogin(f, "u", "p");
        QVERIFY(testkit::answer(SaveLoginForm::kSavedText, QMessageBox::Ok));
        QTRY_VERIFY(!f);
        QCOMPARE(fx.read("mima", "user"), QStringLiteral("u"));
        w.page()->triggerAction(QWebEnginePage::Stop);
    }
    // Three frames: saved, nothing typed, the form stays for the user to close.
    {
        Fixture fx;
        fx.sim.setFrameCount(3);
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, InTray, Loaded);
        w.showSaveLoginForm();
        QPointer<SaveLoginForm> f = openSaveLoginForm();
        QSignalSpy filled(f.data(), &SaveLoginForm::fillDone);
        typeLogin(f, "u", "p");
        QVERIFY(testkit::answer(SaveLoginForm::kSavedText, QMessageBox::Ok));
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
    Program prog(fx.session, &fx.player);
    MainWindow &w = fx.start(prog, Shown, Loaded);
    QCOMPARE(fx.pageRequests(0), 1);

    // Cancel: nothing written, the page stays, the line in use stays selected.
    lineButton(w, 1)->click();
    QCOMPARE(testkit::messageBoxes(LineSwitch::kQuestion).size(), 1);
    QMessageBox *q = testkit::messageBoxes().first();
    QCOMPARE(q->windowTitle(), QStringLiteral("提醒"));
    QCOMPARE(q->icon(), QMessageBox::Question);
    QVERIFY(testkit::answer(LineSwitch::kQuestion, QMessageBox::Cancel));
    QVERIFY(lineButton(w, 0)->isChecked());
    QCOMPARE(fx.read("config", "xianlu"), QString());
    QCOMPARE(fx.session.choices.lineIndex(), 0);
    QTest::qWait(200);
    QCOMPARE(fx.pageRequests(1), 0);

    // OK: the line is stored and the page comes from the new line.
    lineButton(w, 2)->click();
    QVERIFY(testkit::answer(LineSwitch::kQuestion, QMessageBox::Ok));
    QCOMPARE(fx.read("config", "xianlu"), QStringLiteral("2"));
    QCOMPARE(fx.session.choices.lineIndex(), 2);
    QTRY_COMPARE(fx.pageRequests(2), 1);
    QTRY_VERIFY(w.pageComplete());
    QCOMPARE(pageView(w)->url().toString(), fx.session.serverLines[2] + "/nc/i88-61.asp");
    // The next poll asks the new line.
    QVERIFY(prog.poll().requestUrl().startsWith(fx.session.serverLines[2] + "/nc/tx.asp?s="));
}

void TstLogin::everythingSurvivesARestart()
{
    Fixture fx;
    {
        Program prog(fx.session, &fx.player);
        MainWindow &w = fx.start(prog, Shown, Loaded);
        box(w, "soundBox")->click();
        box(w, "reminderBox")->click(); // off
        box(w, "reminderBox")->click(); // on: the channel dialog
        QPointer<ChannelDialog> d = w.choiceBoxes().channelDialog();
        testkit::child<QCheckBox>(d, "jgjy")->click();
        d->close();
        box(w, "reminderBox")->click(); // off
        box(w, "rememberLoginBox")->click();
        QPointer<SaveLoginForm> f = openSaveLoginForm();
        QVERIFY(f);
        typeLogin(f, QStringLiteral("王五"), "pw");
        QVERIFY(testkit::answer(SaveLoginForm::kSavedText, QMessageBox::Ok));
        QTRY_VERIFY(!f);
        lineButton(w, 3)->click();
        QVERIFY(testkit::answer(LineSwitch::kQuestion, QMessageBox::Ok));
    }
    // A new run in the same program folder, started as the entry procedure does.
    Session again = fx.session;
    again.choices = UserChoices(again.profilePath());
    again.choices.loadLineIndex();
    QCOMPARE(again.choices.lineIndex(), 3);
    Program prog(again, &fx.player);
    MainWindow &w = fx.start(prog, InTray);
    QVERIFY(lineButton(w, 3)->isChecked());
    QVERIFY(!box(w, "soundBox")->isChecked());
    QVERIFY(!box(w, "reminderBox")->isChecked());
    QVERIFY(box(w, "rememberLoginBox")->isChecked());
    QVERIFY(!openSaveLoginForm());
    QCOMPARE(again.choices.user(), QStringLiteral("王五"));
    QCOMPARE(again.choices.pass(), QStringLiteral("pw"));
    QVERIFY(again.choices.channelOn(5)); // jgjy
    QVERIFY(!w.choiceBoxes().channelDialog());
}

QTEST_MAIN(TstLogin)
#include "tst_mainwin_login.moc"
