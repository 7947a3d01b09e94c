// The user's choices, the main window's switches and the channel dialog: what
// they load, what they write, and which windows they open.
#include "app/session.h"
#include "files.h"
#include "prefs/channeldialog.h"
#include "prefs/choiceboxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
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

// What the main window provides, in a fresh program folder.
struct Rig
{
    Rig() { session.useFolders(dir.path()); }
    QString ini() const { return session.profilePath(); }
    QString key(const char *k) const { return readProfile("config", k, ini()); }
    QCheckBox *box(const char *name) const { return window.findChild<QCheckBox *>(name); }
    // The six switches as "0"/"1": reminder, the three offers, sound, remember.
    QString switches() const
    {
        QString s;
        for (const char *b : {"reminderBox", "seriesBox", "vipBriefingBox", "goldListBox", "soundBox",
                              "rememberLoginBox"})
            s += box(b)->isChecked() ? u'1' : u'0';
        return s;
    }
    // Channels 0..7 as "0"/"1"; loads them when they are not.
    QString channelStates()
    {
        QString s;
        for (int i = 0; i < 8; ++i)
            s += session.choices.channelOn(i) ? u'1' : u'0';
        return s;
    }
    // The start-up load as the main window runs it.
    void load()
    {
        session.choices.load();
        boxes.showChoices();
    }
    ChannelDialog *dialog() const { return boxes.channelDialog(); }
    QCheckBox *channelBox(const char *key) const { return dialog()->findChild<QCheckBox *>(key); }

    QTemporaryDir dir;
    Session session;
    QWidget window;
    int formShown = 0;
    ChoiceBoxes boxes{session.choices, &window, [this] { ++formShown; }};
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
    void loadSetsTheSwitchesButOpensNothing();
    void switchChangesWriteTheirKeys();
    void rememberLoginFollowsTheLoadFlag();
};

void TstPrefs::channelLoadTakesOnlyZeroOrOne()
{
    Rig none;
    QCOMPARE(none.channelStates(), QStringLiteral("11111011"));
    QVERIFY(!none.session.choices.channelOn(8));
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
    r.boxes.showChannelDialog();
    QPointer<ChannelDialog> d = r.dialog();
    QVERIFY(d && d->isVisible());
    QTest::mouseClick(r.channelBox("lczc"), Qt::LeftButton);
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nlczc=0\r\n"));
    QTest::mouseClick(r.channelBox("jgjy"), Qt::LeftButton);
    r.channelBox("tcsd")->setChecked(false); // set by the program: stored as well
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nlczc=0\r\njgjy=1\r\ntcsd=0\r\n"));

    r.boxes.showChannelDialog(); // again: changes nothing
    QVERIFY(r.dialog() == d && d->isVisible());
    QCOMPARE(r.channelStates(), QStringLiteral("01111110"));
    d->close();
}

void TstPrefs::closedChannelDialogIsRecreatedFromTheFile()
{
    Rig r;
    QVERIFY(writeFile(r.ini(), "[config]\r\nlcgs=0\r\n"));
    const std::function<void(ChannelDialog *)> closers[] = {
        [](ChannelDialog *d) { QTest::mouseClick(d->findChild<QPushButton *>("closeButton"), Qt::LeftButton); },
        [](ChannelDialog *d) { d->close(); }, // the window's close control
        [](ChannelDialog *d) { QTest::keyClick(d, Qt::Key_Escape); },
    };
    for (const auto &closeIt : closers) {
        r.boxes.showChannelDialog();
        QPointer<ChannelDialog> d = r.dialog();
        QVERIFY(!r.channelBox("lcgs")->isChecked());
        closeIt(d);
        QVERIFY(!r.dialog());
        QTRY_VERIFY(d.isNull());
        QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nlcgs=0\r\n"));
    }
    // A failed write holds until the dialog closes; then the file counts again.
    r.boxes.showChannelDialog();
    QVERIFY(QFile::setPermissions(r.ini(), QFileDevice::ReadOwner));
    r.channelBox("lczb")->setChecked(false);
    QCOMPARE(r.channelStates(), QStringLiteral("10011011"));
    r.dialog()->close();
    QCOMPARE(r.channelStates(), QStringLiteral("10111011"));
    QVERIFY(QFile::setPermissions(r.ini(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // A hand edit while it is closed counts at the next reader, unseen.
    r.session.choices.forgetChannels();
    QVERIFY(writeProfile("config", "tcsd", "0", r.ini()));
    QCOMPARE(r.channelStates(), QStringLiteral("10111010"));
    QVERIFY(!anyWindowShown());
}

void TstPrefs::channelDialogTabOrderAndWindowKind()
{
    Rig r;
    ChannelDialog d(r.session.choices);
    QCOMPARE(d.windowTitle(), ChannelDialog::kCaption);
    QCOMPARE(d.windowFlags() & Qt::WindowType_Mask, Qt::Tool); // no task-bar entry
    QVERIFY(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(d.maximumSize(), d.minimumSize());

    const QStringList tabs = {"关闭", "澜策政策", "澜内传真", "澜策资本", "澜策公司",
                              "标题速递", "机构纪要", "私募周报", "题材速递", "关闭"};
    QWidget *w = d.findChild<QPushButton *>("closeButton");
    for (const QString &caption : tabs) {
        QCOMPARE(static_cast<QAbstractButton *>(w)->text(), caption);
        QCOMPARE(w->accessibleName(), caption);
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w == &d);
    }
}

void TstPrefs::loadSetsTheSwitchesButOpensNothing()
{
    Rig none;
    none.load();
    QVERIFY(!none.session.choices.choicesLoaded());
    QCOMPARE(none.switches(), QStringLiteral("100010"));
    QVERIFY(!none.session.choices.channelsLoaded() && !QFile::exists(none.ini()));

    Rig r;
    const QByteArray stored = "[config]\r\nCheck1=0\r\nCheck2=1\r\nCheck3=abc\r\nshengyin=0\r\ntcsd=0\r\n"
                              "[mima]\r\nmima=1\r\nuser=u\r\npass=p\r\n";
    QVERIFY(writeFile(r.ini(), stored));
    r.load();
    QCOMPARE(r.switches(), QStringLiteral("010001"));
    QVERIFY(r.formShown == 0 && r.session.choices.user().isEmpty()); // the login is read later
    QVERIFY(!r.session.choices.channelsLoaded()); // tcsd alone is left to the channels' own load
    QCOMPARE(readFile(r.ini()), stored);
    r.session.choices.loadLogin();
    QVERIFY(r.session.choices.user() == "u" && r.session.choices.pass() == "p");

    // A stored channel value loads the channels; turning the reminder on
    // while loading never shows the dialog.
    Rig r2;
    r2.session.choices.setReminderOn(false);
    QVERIFY(writeFile(r2.ini(), "[config]\r\nCheck1=1\r\nshengyin=\r\nlcgs=0\r\n"));
    r2.load();
    QCOMPARE(r2.switches(), QStringLiteral("100010")); // an empty value counts as absent
    QVERIFY(r2.session.choices.channelsLoaded() && !r2.session.choices.channelOn(1));
    QVERIFY(!anyWindowShown());
    // An oversized file is no settings file at all.
    Rig big;
    QVERIFY(writeFile(big.ini(), "[config]\r\nCheck1=0\r\n" + QByteArray(kProfileFileLimit, ';')));
    big.load();
    QCOMPARE(big.switches(), QStringLiteral("100010"));
}

void TstPrefs::switchChangesWriteTheirKeys()
{
    Rig r;
    r.load();
    r.box("seriesBox")->click();
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nCheck2=1\r\n"));
    r.box("vipBriefingBox")->setChecked(true);
    r.box("goldListBox")->click();
    r.box("soundBox")->click();
    QCOMPARE(readFile(r.ini()), QByteArray("[config]\r\nCheck2=1\r\nCheck3=1\r\nCheck4=1\r\nshengyin=0\r\n"));
    QVERIFY(!r.session.choices.soundOn() && r.session.choices.offerOn(Offer::GoldList));

    QCheckBox *reminder = r.box("reminderBox");
    reminder->click();
    QVERIFY(r.key("Check1") == "0" && !r.dialog() && !r.session.choices.reminderOn());
    reminder->click();
    QVERIFY(r.key("Check1") == "1" && r.dialog() && r.dialog()->isVisible());
    reminder->click(); // unchecking leaves it open
    QVERIFY(r.key("Check1") == "0" && r.dialog()->isVisible());
    r.dialog()->close();

    // A read-only file: the choice keeps its new state, silently.
    QVERIFY(QFile::setPermissions(r.ini(), QFileDevice::ReadOwner));
    r.box("seriesBox")->click();
    QVERIFY(!r.box("seriesBox")->isChecked() && !r.session.choices.offerOn(Offer::Series));
    QCOMPARE(r.key("Check2"), QStringLiteral("1"));
    QVERIFY(!anyWindowShown());
}

void TstPrefs::rememberLoginFollowsTheLoadFlag()
{
    Rig r;
    const QByteArray stored = "[mima]\r\nmima=1\r\nuser=u\r\npass=p\r\n";
    QVERIFY(writeFile(r.ini(), stored));
    r.load();
    r.session.choices.loadLogin();
    QCheckBox *remember = r.box("rememberLoginBox");
    QVERIFY(remember->isChecked());
    remember->click(); // still loading: nothing happens
    remember->click();
    QCOMPARE(readFile(r.ini()), stored);
    QVERIFY(r.formShown == 0 && r.session.choices.user() == "u");

    r.session.choices.setChoicesLoaded(true);
    remember->click();
    QCOMPARE(readFile(r.ini()), QByteArray("[mima]\r\nmima=0\r\nuser=\r\npass=\r\n"));
    QVERIFY(r.session.choices.user().isEmpty() && r.session.choices.pass().isEmpty() && r.formShown == 0);

    remember->click();
    QCOMPARE(readFile(r.ini()), QByteArray("[mima]\r\nmima=1\r\nuser=\r\npass=\r\n"));
    QVERIFY(r.formShown == 1 && r.session.choices.rememberLogin());
}

QTEST_MAIN(TstPrefs)
#include "tst_prefs_dialogs.moc"
