// Pop-up bookkeeping, the main window's minimise rule and the sound requests.
#include "reminder/alerts.h"
#include "reminder/sound.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTest>

using namespace lckb;
using L = QStringList;

namespace {

struct FakeHost : QObject, AlertHost, SoundPlayer
{
    QStringList events;
    QList<QObject *> popups; // by sequence - 1
    bool visible = true, active = false;
    bool createTakesFocus = false; // the new window takes the focus from the main window

    bool mainWindowVisible() const override { return visible; }
    bool mainWindowIsActive() const override { return active; }
    void minimizeMainWindow() override { events << "minimize"; }
    QObject *createPopup(const PopupData &d) override
    {
        events << QString("create %1 %2|%3|%4").arg(d.sequence).arg(d.group, d.title, d.url);
        active = active && !createTakesFocus;
        popups << new QObject(this);
        popups.last()->setObjectName(QString::number(d.sequence));
        return popups.last();
    }
    void showPopup(QObject *p) override { events << "show " + p->objectName(); }
    void closePopup(QObject *p) override
    {
        events << "close " + p->objectName();
        delete p;
    }
    void play(const QString &file) override { events << "play " + file; }
};

QString writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
}

} // namespace

class TstReminderAlerts : public QObject
{
    Q_OBJECT
private slots:
    void arialTitlesAreDropped();
    void atMostThreePopupsStayOpen();
    void mainWindowGetsOutOfTheWay();
    void playSound();
    void effectPlayerNeverBlocks();
};

void TstReminderAlerts::arialTitlesAreDropped()
{
    FakeHost host;
    Alerts a(host, host);
    for (const char *title : {"Arial font test", "ARIAL", "xarialx"})
        a.announce("G", title, "u");
    QCOMPARE(a.popupCount(), 0);
    QVERIFY(host.events.isEmpty());
    a.announce("组 A", "Aria", "http://h/nc/a.asp");
    QCOMPARE(a.popupCount(), 1);
    QCOMPARE(host.events, L({"create 1 组 A|Aria|http://h/nc/a.asp", "minimize", "show 1"}));
}

void TstReminderAlerts::atMostThreePopupsStayOpen()
{
    FakeHost host;
    host.active = true;
    Alerts a(host, host);
    for (int i = 1; i <= 5; ++i)
        a.announce("G", QString("T%1").arg(i), "u");
    QCOMPARE(a.openPopupSequences(), QList<int>({3, 4, 5}));
    // The older ones close before the new one is made.
    QCOMPARE(host.events.mid(4), L({"create 3 G|T3|u", "show 3", "close 1", "create 4 G|T4|u", "show 4",
                                    "close 2", "create 5 G|T5|u", "show 5"}));

    delete host.popups.at(3); // number 4, closed by the user: simply gone
    QCOMPARE(a.openPopupSequences(), QList<int>({3, 5}));
    host.events.clear();
    a.announce("G", "T6", "u");
    QCOMPARE(host.events, L({"close 3", "create 6 G|T6|u", "show 6"}));
    QCOMPARE(a.openPopupSequences(), QList<int>({5, 6}));
}

void TstReminderAlerts::mainWindowGetsOutOfTheWay()
{
    FakeHost host;
    Alerts a(host, host);
    // Active before the pop-up was made, even if the pop-up takes the focus: unchanged.
    host.active = host.createTakesFocus = true;
    a.announce("G", "T", "u");
    // Visible behind another program's window: minimised before the pop-up shows.
    a.announce("G", "T", "u");
    // Hidden in the tray: stays hidden.
    host.visible = false;
    a.announce("G", "T", "u");
    QCOMPARE(host.events, L({"create 1 G|T|u", "show 1", "create 2 G|T|u", "minimize", "show 2",
                             "create 3 G|T|u", "show 3"}));
}

void TstReminderAlerts::playSound()
{
    QTemporaryDir dir;
    const QString ts = writeFile(dir, "ts.wav", "RIFF"), ts1 = writeFile(dir, "ts1.wav", "RIFF");
    QVERIFY(!ts.isEmpty() && !ts1.isEmpty());
    FakeHost host;
    Alerts a(host, host);
    a.playSound(dir.filePath("missing.wav"), 1);
    a.playSound(dir.path(), 1); // a folder is no sound file
    a.playSound(ts, 0);
    a.playSound(ts, 1);
    a.playSound(ts1, 1);
    QCOMPARE(host.events, L({"play " + ts, "play " + ts1}));
}

void TstReminderAlerts::effectPlayerNeverBlocks()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.wav");
    const QString garbage = writeFile(dir, "garbage.wav", QByteArray(2000, 'Z'));
    const QString sound = qEnvironmentVariable("LCKB_BIN_DIR") + "/ts.wav";
    QVERIFY(!garbage.isEmpty());
    QVERIFY2(QFile::exists(sound), "the build puts ts.wav beside the test");

    EffectPlayer player;
    player.play(missing);
    player.play(garbage);
    QTRY_VERIFY(!player.loading());
    if (QMediaDevices::audioOutputs().isEmpty())
        QVERIFY2(player.source().isEmpty(), "without an output the effect is not even made");

    // The effect itself, run without an output (where it claims to play for ever).
    EffectPlayer effect;
    effect.setDeviceCheck(false);
    effect.play(sound);
    QTRY_VERIFY(effect.playing());
    for (const QString &bad : {missing, garbage}) {
        effect.play(bad); // stops the sound still playing
        QTRY_VERIFY(!effect.loading());
        QCOMPARE(effect.source(), bad);
        QVERIFY(!effect.playing());
    }
}

QTEST_GUILESS_MAIN(TstReminderAlerts)
#include "tst_reminder_alerts.moc"
