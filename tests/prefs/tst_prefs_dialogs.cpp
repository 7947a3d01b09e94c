// The channel dialog and the main window's preference boxes: what they load,
// what they write, and which windows they open.
#include "channeldialog.h"
#include "dialog1.h"
#include "files.h"
#include "preferences.h"
#include "session.h"

#include <QApplication>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace lckb;

namespace {
using testkit::readFile;
using testkit::writeFile;

// Any window on screen: a dialog, a form or a message box.
bool anyWindowShown()
{
    const QWidgetList all = QApplication::topLevelWidgets();
    return std::any_of(all.begin(), all.end(), [](QWidget *w) { return w->isVisible(); });
}

// A box already in its design state when the handlers are bound.
struct Box : QCheckBox
{
    explicit Box(bool on) { setChecked(on); }
};

// What the main window provides, in a fresh program folder.
struct Rig
{
    explicit Rig(bool check1Design = true) : Check1(check1Design) { session.appDir = dir.path(); }
    QString ini() const { return session.iniPath(); }
    QString key(const char *k) const { return ReadIni("config", k, ini()); }
    // Check1, Check2, Check3, Check4, shengyin, mima as "0"/"1".
    QString boxes() const
    {
        QString s;
        for (const QCheckBox *b : {&Check1, &Check2, &Check3, &Check4, &shengyin, &mima})
            s += b->isChecked() ? u'1' : u'0';
        return s;
    }
    // Channels 0..7 as "0"/"1"; touches the dialog.
    QString channelStates()
    {
        QString s;
        for (int i = 0; i < 8; ++i)
            s += channels.channelOn(i) ? u'1' : u'0';
        return s;
    }

    QTemporaryDir dir;
    Session session;
    Box Check1, Check2{false}, Check3{false}, Check4{false}, shengyin{true}, mima{false};
    ChannelDialog channels{dir.filePath("config.ini")};
    int formShown = 0;
    Preferences prefs{session, {&Check1, &Check2, &Check3, &Check4, &shengyin, &mima}, channels,
                      [this] { ++formShown; }};
};
} // namespace

class TstPrefs : public QObject
{
    Q_OBJECT
private slots:
    void channelLoadTakesOnlyZeroOrOne();
    void channelChangesAreWrittenAtOnce();
    void closedChannelDialogIsRecreatedFromTheFile();
    void channelDialogTabOrderAndWindowKind();
    void configLoadsBoxesButOpensNothing();
    void boxChangesWriteTheirKeys();
    void mimaFollowsTheLoadFlag();
};

void TstPrefs::channelLoadTakesOnlyZeroOrOne()
{
    Rig none;
    QCOMPARE(none.channelStates(), QStringLiteral("11111011"));
    QVERIFY(!none.channels.touch()->isVisible() && !none.channels.channelOn(8));
    QVERIFY(!QFile::exists(none.ini()));

    Rig r;
    const QByteArray stored = "[config]\r\njgjy=1\r\nlczc=0\r\nlcgs=2\r\nlczb=abc\r\nbtsd=\r\n";
    QVERIFY(writeFile(r.ini(), stored));
    QCOMPARE(r.channelStates(), QStringLiteral("01111111"));
    QCOMPARE(readFile(r.ini()), stored);
}

void TstPrefs::channelChangesAreWrittenAtOnce()
{
    Rig r;
    QSignalSpy created(&r.channels, &ChannelDialog::created);
    r.channels.show();
    Dialog1 *d = r.channels.touch();
    QTest::mouseClick(d->lczc, Qt::LeftButton);
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nlczc=0\r\n"));
    QTest::mouseClick(d->jgjy, Qt::LeftButton);
    d->tcsd->setChecked(false); // set by the program: stored as well
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nlczc=0\r\njgjy=1\r\ntcsd=0\r\n"));

    r.channels.show(); // again: changes nothing
    QVERIFY(r.channels.touch() == d && d->isVisible());
    QCOMPARE(r.channelStates(), QStringLiteral("01111110"));
    QCOMPARE(created.count(), 1);
}

void TstPrefs::closedChannelDialogIsRecreatedFromTheFile()
{
    Rig r;
    QVERIFY(writeFile(r.ini(), "[config]\r\nlcgs=0\r\n"));
    const std::function<void(Dialog1 *)> closers[] = {
        [](Dialog1 *d) { QTest::mouseClick(d->OKButton, Qt::LeftButton); },
        [](Dialog1 *d) { d->close(); }, // the window's close control
        [](Dialog1 *d) { QTest::keyClick(d, Qt::Key_Escape); },
    };
    for (const auto &closeIt : closers) {
        r.channels.show();
        QPointer<Dialog1> d = r.channels.touch();
        closeIt(d);
        QVERIFY(!r.channels.exists());
        QTRY_VERIFY(d.isNull());
        QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nlcgs=0\r\n"));
    }
    // A hand edit while it is closed counts at the next touch, unseen.
    QVERIFY(WriteIni("config", "tcsd", "0", r.ini()));
    QCOMPARE(r.channelStates(), QStringLiteral("10111010"));
    QVERIFY(!anyWindowShown());
}

void TstPrefs::channelDialogTabOrderAndWindowKind()
{
    Rig r;
    Dialog1 *d = r.channels.touch();
    QCOMPARE(d->windowFlags() & Qt::WindowType_Mask, Qt::Tool); // no task-bar entry
    QVERIFY(d->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(d->maximumSize(), d->minimumSize());

    const QStringList tabs = {"关闭", "澜策政策", "澜内传真", "澜策资本", "澜策公司",
                              "标题速递", "机构纪要", "私募周报", "题材速递", "关闭"};
    QWidget *w = d->OKButton;
    for (const QString &caption : tabs) {
        QCOMPARE(static_cast<QAbstractButton *>(w)->text(), caption);
        QCOMPARE(w->accessibleName(), caption);
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w == d);
    }
    const char *lineOrder[] = {"lczc", "lcgs", "lczb", "lncz", "smzb", "jgjy", "btsd", "tcsd"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(d->boxAt(i), d->findChild<QCheckBox *>(lineOrder[i]));
}

void TstPrefs::configLoadsBoxesButOpensNothing()
{
    Rig none;
    none.prefs.config();
    QCOMPARE(none.prefs.blnTemp, std::optional<bool>(false));
    QCOMPARE(none.boxes(), QStringLiteral("100010"));
    QVERIFY(!none.channels.exists() && !QFile::exists(none.ini()));

    Rig r;
    r.session.strUser = "u";
    const QByteArray stored = "[config]\r\nCheck1=0\r\nCheck2=1\r\nCheck3=abc\r\nshengyin=0\r\ntcsd=0\r\n"
                              "[mima]\r\nmima=1\r\nuser=u\r\npass=p\r\n";
    QVERIFY(writeFile(r.ini(), stored));
    r.prefs.config();
    QCOMPARE(r.boxes(), QStringLiteral("010001"));
    QVERIFY(r.formShown == 0 && r.session.strUser == "u");
    QVERIFY(!r.channels.exists()); // tcsd is left to the dialog's own load
    QCOMPARE(readFile(r.ini()), stored);

    // A stored channel value loads the dialog, hidden; Check1 never shows it
    // while loading, whatever state the box started in.
    Rig r2(false);
    QVERIFY(writeFile(r2.ini(), "[config]\r\nCheck1=1\r\nshengyin=\r\nlcgs=0\r\n"));
    r2.prefs.config();
    QCOMPARE(r2.boxes(), QStringLiteral("100010")); // an empty value counts as absent
    QVERIFY(r2.channels.exists() && !r2.channels.channelOn(1));
    QVERIFY(!anyWindowShown());
}

void TstPrefs::boxChangesWriteTheirKeys()
{
    Rig r;
    r.prefs.config();
    r.Check2.click();
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nCheck2=1\r\n"));
    r.Check3.setChecked(true);
    r.Check4.click();
    r.shengyin.click();
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nCheck2=1\r\nCheck3=1\r\nCheck4=1\r\nshengyin=0\r\n"));

    r.Check1.click();
    QVERIFY(r.key("Check1") == "0" && !r.channels.exists());
    r.Check1.click();
    QVERIFY(r.key("Check1") == "1" && r.channels.touch()->isVisible());
    r.Check1.click(); // unchecking leaves it open
    QVERIFY(r.key("Check1") == "0" && r.channels.touch()->isVisible());
    r.channels.touch()->close();

    // A read-only file: the box keeps its new state, silently.
    QVERIFY(QFile::setPermissions(r.ini(), QFileDevice::ReadOwner));
    r.Check2.click();
    QVERIFY(!r.Check2.isChecked() && r.key("Check2") == "1");
    QVERIFY(!anyWindowShown());
}

void TstPrefs::mimaFollowsTheLoadFlag()
{
    Rig r;
    r.session.strUser = "u";
    r.session.strPass = "p";
    const QByteArray stored = "[mima]\r\nmima=1\r\nuser=u\r\npass=p\r\n";
    QVERIFY(writeFile(r.ini(), stored));
    r.prefs.config();
    r.mima.click(); // still loading: nothing happens
    r.mima.click();
    QCOMPARE(readFile(r.ini()), stored);
    QVERIFY(r.formShown == 0 && r.session.strUser == "u");

    r.prefs.blnTemp = true;
    r.mima.click();
    QCOMPARE(readFile(r.ini()), QByteArray("[mima]\r\nmima=0\r\nuser=\r\npass=\r\n"));
    QVERIFY(r.session.strUser.isEmpty() && r.session.strPass.isEmpty() && r.formShown == 0);

    r.session.strUser = "v";
    r.mima.click();
    QCOMPARE(readFile(r.ini()), QByteArray("[mima]\r\nmima=1\r\nuser=\r\npass=\r\n"));
    QVERIFY(r.formShown == 1 && r.session.strUser == "v");
}

QTEST_MAIN(TstPrefs)
#include "tst_prefs_dialogs.moc"
