// Pop-up bookkeeping, the main window making way, and the sound requests.
#include "reminder/alerts.h"
#include "reminder/sound.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace lckb;
using L = QStringList;

namespace {

struct FakeHost : QObject, PopupHost, AlertBackdrop, SoundPlayer
{
    struct Popup : PopupHandle
    {
        Popup(FakeHost *host, int sequence) : PopupHandle(host), host(host) { setObjectName(QString::number(sequence)); }
        void show() override { host->events << "show " + objectName(); }
        void close() override
        {
            host->events << "close " + objectName();
            delete this;
        }
        FakeHost *host;
    };
    QStringList events;
    QList<Popup *> popups; // by sequence - 1

    PopupHandle *createPopup(const Bulletin &b, int sequence) override
    {
        events << QString("create %1 %2|%3|%4").arg(sequence).arg(b.group, b.title, b.url);
        popups << new Popup(this, sequence);
        return popups.last();
    }
    void stepAside() override { events << "aside"; }
    void play(const QString &file) override { events << "play " + file; }
};

Bulletin item(const QString &group, const QString &title, const QString &url)
{
    return {1, group, title, url, {}};
}

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
    void mainWindowStepsAsideFirst();
    void atMostThreePopupsStayOpen();
    void playSound();
    void effectPlayerNeverBlocks();
};

void TstReminderAlerts::mainWindowStepsAsideFirst()
{
    FakeHost host;
    Alerts a(host, host, host);
    // The main window makes way before the pop-up is made, so making it
    // never counts as the main window losing the focus.
    a.announce(item("组 A", "Aria", "http://h/nc/a.asp"));
    QCOMPARE(a.popupCount(), 1);
    QCOMPARE(host.events, L({"aside", "create 1 组 A|Aria|http://h/nc/a.asp", "show 1"}));
}

void TstReminderAlerts::atMostThreePopupsStayOpen()
{
    FakeHost host;
    Alerts a(host, host, host);
    QList<Bulletin> shown;
    connect(&a, &Alerts::announced, [&](const Bulletin &b) { shown << b; });
    for (int i = 1; i <= 5; ++i)
        a.announce(item("G", QString("T%1").arg(i), "u"));
    QCOMPARE(a.openPopupSequences(), QList<int>({3, 4, 5}));
    // The older ones close before the new one is made.
    QCOMPARE(host.events.mid(6), L({"aside", "create 3 G|T3|u", "show 3", "close 1", "aside", "create 4 G|T4|u",
                                    "show 4", "close 2", "aside", "create 5 G|T5|u", "show 5"}));
    QCOMPARE(shown.size(), 5);
    QCOMPARE(shown.last().title, QStringLiteral("T5"));

    delete host.popups.at(3); // number 4, closed by the user: simply gone
    QCOMPARE(a.openPopupSequences(), QList<int>({3, 5}));
    host.events.clear();
    a.announce(item("G", "T6", "u"));
    QCOMPARE(host.events, L({"close 3", "aside", "create 6 G|T6|u", "show 6"}));
    QCOMPARE(a.openPopupSequences(), QList<int>({5, 6}));
}

void TstReminderAlerts::playSound()
{
    QTemporaryDir dir;
    const QString ts = writeFile(dir, "ts.wav", "RIFF"), ts1 = writeFile(dir, "ts1.wav", "RIFF");
    QVERIFY(!ts.isEmpty() && !ts1.isEmpty());
    FakeHost host;
    Alerts a(host, host, host);
    a.playSound(dir.filePath("missing.wav"));
    a.playSound(dir.path()); // a folder is no sound file
    a.playSound(ts);
    a.playSound(ts1);
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

    // The effect itself, run without an output: the sound starts exactly
    // when Qt can load it (Qt 6.4 loads it even without an output and then
    // claims to play for ever; later versions refuse to load it), and a bad
    // file stops it and starts nothing. Nothing waits either way.
    EffectPlayer effect;
    effect.setDeviceCheck(false);
    effect.play(sound);
    QTRY_VERIFY(!effect.loading());
    QSoundEffect probe;
    probe.setSource(QUrl::fromLocalFile(sound));
    QTRY_VERIFY(probe.status() == QSoundEffect::Ready || probe.status() == QSoundEffect::Error);
    const int started = probe.status() == QSoundEffect::Ready ? 1 : 0;
    QCOMPARE(effect.started(), started);
    QCOMPARE(effect.source(), sound);
    for (const QString &bad : {missing, garbage}) {
        effect.play(bad); // stops the sound still playing
        QTRY_VERIFY(!effect.loading());
        QCOMPARE(effect.source(), bad);
        QVERIFY(!effect.playing());
        QCOMPARE(effect.started(), started);
    }
}

QTEST_GUILESS_MAIN(TstReminderAlerts)
#include "tst_reminder_alerts.moc"
