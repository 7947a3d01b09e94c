// The reminder poll on a bad server line: every fault the simulator can
// serve, a refused connection and a host that does not resolve. Each fault
// must end within the fetch limit, leave the baseline and the screen alone,
// and must not stop the poll or swallow the next real change.
#include "testkit.h"
#include "fixture.h"
#include "mainwin/mainwindow.h"
#include "app/gbk.h"
#include "soakkit.h"
#include "reminder/reminderpoll.h"

#include <QTcpServer>

using namespace lckb;
using namespace testkit;
using lckb::sim::Step;

namespace {

struct Recorder : AlertSink
{
    QStringList calls;
    void announce(const Bulletin &b) override { calls << "msn " + b.title + "|" + b.group + "|" + b.url; }
    void playSound(const QString &f) override { calls << "wav " + f; }
};

const char *outcomeName(PollOutcome o)
{
    static const char *names[] = {"Busy", "FetchFailed", "Markup", "Empty", "Unchanged", "Compared"};
    return names[int(o)];
}

// The real poll, driven by its own timer, against the simulator on one line.
struct PollRig
{
    struct Seen
    {
        PollOutcome outcome;
        QString bak;
        QStringList calls;
        int windows;       // visible top-level windows when the poll ended
        bool timerRunning; // the poll timer still active then
        qint64 ms;         // from the tick that started it
    };

    sim::BulletinServer sim;
    ManualClock clock{QDateTime(QDate(2026, 3, 2), QTime(9, 30, 0))};
    Session s;
    Recorder rec;
    ReminderPoll poll{s, rec};
    QList<Seen> polls;
    QList<int> tickT; // the busy counter right after each tick
    QElapsedTimer since;
    std::function<void(int)> afterPoll;

    PollRig()
    {
        if (!sim.listen({0}))
            qFatal("simulator: %s", qPrintable(sim.errorString()));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(sim.ports().at(0));
        s.serverLines = makeServerLines({host, host, host}).value();
        s.useFolders(QStringLiteral("A/")); // no such folder: the choices are never stored
        for (int k = 0; k < 8; ++k)
            s.choices.setChannelOn(k, true);
        s.clock = &clock;
        s.intervals.poll = 100;
        // Long enough for any loopback answer, short enough that a hang or a
        // drip ends quickly.
        s.intervals.fetchLimit = 1000;
        QObject::connect(&poll, &ReminderPoll::pollFinished, [this](PollOutcome o) {
            int windows = 0;
            for (QWidget *w : QApplication::topLevelWidgets())
                windows += w->isVisible();
            polls << Seen{o, poll.store().baseline, rec.calls, windows, poll.timerRunning(), since.elapsed()};
            rec.calls.clear();
            clock.advanceMs(30000);
            if (afterPoll)
                afterPoll(int(polls.size()));
        });
        QObject::connect(poll.findChild<QTimer *>("pollTimer"), &QTimer::timeout, [this] {
            tickT << poll.busy();
            if (poll.busy() == 1)
                since.start();
        });
    }

    // Lets the timer run until `n` polls have ended, then stops it and waits
    // for a poll still under way.
    bool run(int n, int ms)
    {
        poll.start();
        const bool ok = waitFor([&] { return polls.size() >= n; }, ms);
        poll.stop();
        waitFor([&] { return !poll.running(); }, 3000);
        return ok && !poll.running();
    }

    int reminderRequests() const { return int(sim.requests(QStringLiteral("/nc/tx.asp")).size()); }
};

QString describeBak(const QString &bak, const QMap<QString, QString> &known)
{
    for (auto it = known.begin(); it != known.end(); ++it)
        if (bak == it.value())
            return it.key();
    return "other:" + bak.left(30);
}

// A port nobody listens on: taken from the system, then let go.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 p = s.serverPort();
    s.close();
    return p;
}

enum class Fault { Hang, Reset, Drip, Html, NotFound, ServerError, Large, BadRedirect, Refused, NoHost };

} // namespace

Q_DECLARE_METATYPE(Fault)

class TstSoakFaults : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { deletePopups(); }
    void faultThenChange_data();
    void faultThenChange();
    void damagedBytesAreTextNotFaults();
    void mainWindowStaysQuietThroughFaults();
    void windowEndsWithScriptsPending();
};

void TstSoakFaults::faultThenChange_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("channel");           // the channel of the change after the fault
    QTest::addColumn<bool>("onePerPoll");       // the client sends exactly one request per poll
    QTest::newRow("hang") << Fault::Hang << 0 << true;
    QTest::newRow("reset") << Fault::Reset << 1 << false; // resent once after the reset
    QTest::newRow("drip") << Fault::Drip << 2 << true;
    QTest::newRow("html") << Fault::Html << 3 << true;
    QTest::newRow("404") << Fault::NotFound << 4 << true;
    QTest::newRow("500") << Fault::ServerError << 5 << true;
    QTest::newRow("50MB") << Fault::Large << 6 << true;
    QTest::newRow("redirect-loop") << Fault::BadRedirect << 7 << false;
    QTest::newRow("refused") << Fault::Refused << 3 << false;
    QTest::newRow("unresolvable") << Fault::NoHost << 6 << false;
}

// Poll 1 takes the baseline, polls 2 and 3 meet the fault, poll 4 brings a
// change on one channel, polls 5 and 6 repeat it.
void TstSoakFaults::faultThenChange()
{
    QFETCH(Fault, fault);
    QFETCH(int, channel);
    QFETCH(bool, onePerPoll);

    PollRig r;
    soak::WindowWatch watch;
    const QStringList l0 = soak::baseLines();
    QStringList l1 = l0;
    l1[channel] = soak::bulletinLine(channel, 200 + channel, QStringLiteral("新快报%1").arg(channel));
    const QString r0 = soak::joined(l0), r1 = soak::joined(l1);

    Step f;
    switch (fault) {
    case Fault::Hang: f = Step::hang(); break;
    case Fault::Reset: f = Step::reset(); break;
    case Fault::Drip: f = Step::drip(50, encodeGbk(r1)); break; // the change itself, too slowly
    case Fault::Html: f = Step::htmlError(); break;
    case Fault::NotFound: f = Step::httpStatus(404); break;
    case Fault::ServerError: f = Step::httpStatus(500); break;
    case Fault::Large: f = Step::large(); break;
    case Fault::BadRedirect: f = Step::redirectLoop(); break;
    case Fault::Refused:
    case Fault::NoHost: break;
    }
    if (fault == Fault::Refused || fault == Fault::NoHost) {
        // The line in use goes bad after the baseline and comes back for poll 4.
        const QString good = r.s.serverLines[0];
        const QString bad = fault == Fault::Refused ? QStringLiteral("http://127.0.0.1:%1").arg(closedPort())
                                                    : QStringLiteral("http://nohost.invalid");
        r.afterPoll = [&r, good, bad](int n) {
            if (n == 1 || n == 3)
                r.s.serverLines[0] = n == 1 ? bad : good;
        };
        r.sim.setScenario({Step::reply(l0), Step::reply(l1)});
    } else {
        f.times = 2;
        r.sim.setScenario({Step::reply(l0), f, Step::reply(l1)});
    }

    QVERIFY2(r.run(6, 20000), qPrintable(QStringLiteral("%1 polls ended").arg(r.polls.size())));

    // How each poll went, as the user would care: was the reply taken in,
    // what is the baseline now, what was announced.
    const QMap<QString, QString> known{{"R0", r0}, {"R1", r1}};
    QStringList got, outcomes;
    for (int i = 0; i < 6; ++i) {
        const PollRig::Seen &p = r.polls.at(i);
        const bool rejected = p.outcome == PollOutcome::FetchFailed || p.outcome == PollOutcome::Markup
                              || p.outcome == PollOutcome::Empty;
        QString line = QStringLiteral("%1 bak=%2").arg(rejected ? "rejected" : outcomeName(p.outcome),
                                                      describeBak(p.bak, known));
        for (const QString &c : p.calls)
            line += " | " + c;
        got << line;
        outcomes << QStringLiteral("%1 (%2 ms)").arg(outcomeName(p.outcome)).arg(p.ms);
    }
    qInfo("polls: %s; %d requests", qPrintable(outcomes.join(", ")), r.reminderRequests());

    const QStringList arrived = l1.at(channel).split(u',');
    const QString sound = channel < 4 ? "A/ts.wav" : "A/ts1.wav";
    const QStringList want{
        "Unchanged bak=R0",
        "rejected bak=R0",
        "rejected bak=R0",
        "Compared bak=R1 | msn " + arrived.at(1) + "|" + arrived.at(2) + "|" + r.s.serverLines[0] + arrived.at(3)
            + " | wav " + sound,
        "Unchanged bak=R1",
        "Unchanged bak=R1",
    };
    QCOMPARE(got, want);

    // The poll never stopped, and never showed anything.
    for (const PollRig::Seen &p : std::as_const(r.polls)) {
        QVERIFY(p.timerRunning);
        QCOMPARE(p.windows, 0);
    }
    QCOMPARE(watch.shown, QStringList());
    // Each poll was started by a tick that found the previous one over (t
    // back at 0); ticks during a poll were dropped, not kept for later.
    QCOMPARE(int(std::count(r.tickT.begin(), r.tickT.end(), 1)), int(r.polls.size()));
    QCOMPARE(r.poll.busy(), 0);
    if (fault == Fault::Hang || fault == Fault::Drip)
        QVERIFY(*std::max_element(r.tickT.begin(), r.tickT.end()) > 1);
    if (onePerPoll)
        QCOMPARE(r.reminderRequests(), int(r.polls.size()));
}

// Bytes that are no GBK are decoded as U+FFFD: the reply is still a reply,
// and a line that reads differently is a change like any other, announced
// once. Decoding is deterministic, so the same damaged reply again is no
// change.
void TstSoakFaults::damagedBytesAreTextNotFaults()
{
    const QStringList l0 = soak::baseLines();
    const QString base0 = soak::joined(l0);

    {
        PollRig r;
        const QByteArray damaged = "301," + encodeGbk(QStringLiteral("坏")) + "\xFF" + encodeGbk(QStringLiteral("字快报,澜内传真"))
                                   + ",/nc/show.asp?id=301";
        QList<QByteArray> lines;
        for (const QString &l : l0)
            lines << encodeGbk(l);
        lines[3] = damaged;
        QStringList l2 = l0;
        l2[3] = soak::bulletinLine(3, 302, QStringLiteral("修好的快报"));
        Step twice = Step::raw(sim::joinReplyLines(lines));
        twice.times = 2;
        r.sim.setScenario({Step::reply(l0), twice, Step::reply(l2)});
        QVERIFY(r.run(5, 10000));

        const QString base = r.s.serverLines[0];
        QStringList got;
        for (int i = 0; i < 5; ++i)
            got << QString::fromLatin1(outcomeName(r.polls.at(i).outcome)) + " " + r.polls.at(i).calls.join(" | ");
        const QStringList fixed = l2.at(3).split(u',');
        QCOMPARE(got, QStringList({
                          "Unchanged ",
                          QStringLiteral("Compared msn 坏\uFFFD字快报|澜内传真|") + base + "/nc/show.asp?id=301 | wav A/ts.wav",
                          "Unchanged ",
                          "Compared msn " + fixed.at(1) + "|" + fixed.at(2) + "|" + base + fixed.at(3) + " | wav A/ts.wav",
                          "Unchanged ",
                      }));
        QVERIFY(r.polls.at(2).bak.contains(QStringLiteral("坏\uFFFD字快报")));
    }

    {
        // The simulator's damaged reply: every line broken in another way, a
        // lone lead byte at the very end. Every line differs from the
        // baseline, so each channel is announced once on the way in and once
        // on the way back, in channel order.
        PollRig r;
        r.sim.setScenario({Step::reply(l0), Step::badGbk(), Step::reply(l0)});
        QVERIFY(r.run(4, 10000));
        QCOMPARE(outcomeName(r.polls.at(0).outcome), "Unchanged");
        QCOMPARE(outcomeName(r.polls.at(1).outcome), "Compared");
        QCOMPARE(outcomeName(r.polls.at(2).outcome), "Compared");
        QCOMPARE(outcomeName(r.polls.at(3).outcome), "Unchanged");
        QCOMPARE(r.polls.at(3).bak, base0);
        const QString base = r.s.serverLines[0];
        const QStringList in = r.polls.at(1).calls, back = r.polls.at(2).calls;
        QCOMPARE(in.size(), 16);
        QCOMPARE(back.size(), 16);
        for (int k = 0; k < 8; ++k) {
            const QStringList old = l0.at(k).split(u',');
            const QString sound = k < 4 ? "wav A/ts.wav" : "wav A/ts1.wav";
            QCOMPARE(back.at(2 * k), "msn " + old.at(1) + "|" + old.at(2) + "|" + base + old.at(3));
            QCOMPARE(back.at(2 * k + 1), sound);
            // On the way in the damaged item is shown as decoded.
            const QStringList f = in.at(2 * k).mid(4).split(u'|');
            QCOMPARE(f.size(), 3);
            QVERIFY2(f.at(0).startsWith(QStringLiteral("坏字节快报")), qPrintable(f.at(0)));
            QCOMPARE(f.at(0).contains(QChar::ReplacementCharacter), k != 7); // line 7's damage is its end
            QCOMPARE(f.at(1), QString::fromUtf8(sim::kChannelCaptions[k]));
            QVERIFY2(f.at(2).startsWith(base + "/nc/show.asp?id=" + QString::number(9001 + k)), qPrintable(f.at(2)));
            QCOMPARE(in.at(2 * k + 1), sound);
        }
        // The lone lead byte at the end is not silently dropped.
        QVERIFY(r.polls.at(1).bak.endsWith(QChar::ReplacementCharacter));
    }
}

// One bad stretch through the real main window: nothing may appear on
// screen (no message, no pop-up) until the real change comes.
void TstSoakFaults::mainWindowStaysQuietThroughFaults()
{
    Fixture fx;
    fx.session.intervals.poll = 150;
    fx.session.intervals.fetchLimit = 1000;
    const QStringList l0 = soak::baseLines();
    QStringList l1 = l0;
    l1[2] = soak::bulletinLine(2, 202, QStringLiteral("真正的新快报"));
    fx.sim.setScenario({Step::reply(l0), Step::hang(), Step::reset(), Step::htmlError(), Step::httpStatus(500),
                        Step::reply(l1)});

    Program prog(fx.session, &fx.player);

    MainWindow &w = prog.window();
    soak::WindowWatch watch(&w);
    QList<PollOutcome> outcomes;
    QStringList baks;
    connect(&prog.poll(), &ReminderPoll::pollFinished, this, [&](PollOutcome o) {
        outcomes << o;
        baks << prog.poll().store().baseline;
        fx.clock.advanceMs(30000);
    });
    prog.start();
    w.show();

    // Baseline, hang, reset, error page.
    QVERIFY(waitFor([&] { return outcomes.size() >= 4; }, 20000));
    QCOMPARE(outcomes.mid(0, 4), QList<PollOutcome>({PollOutcome::Unchanged, PollOutcome::FetchFailed,
                                                     PollOutcome::FetchFailed, PollOutcome::Markup}));
    QCOMPARE(baks.mid(0, 4), QStringList(4, soak::joined(l0)));
    QCOMPARE(watch.shown, QStringList());
    QCOMPARE(messageBoxes().size(), 0);
    QVERIFY(fx.player.played.isEmpty());
    QVERIFY(prog.poll().timerRunning());

    // The 500 with its text body, the change, and the change again.
    QVERIFY(waitFor([&] { return outcomes.size() >= 7; }, 20000));
    QCOMPARE(messageBoxes().size(), 0);
    QVERIFY(prog.poll().timerRunning());
    QCOMPARE(baks.at(6), soak::joined(l1));

    const QStringList arrived = l1.at(2).split(u',');
    QStringList got = watch.shown;
    for (BulletinPopup *p : popups())
        got << p->bulletin().title + "|" + p->bulletin().group + "|" + p->bulletin().url;
    got << fx.player.played;
    QCOMPARE(got, QStringList({"lckb::BulletinPopup|" + BulletinPopup::kCaption,
                               arrived.at(1) + "|" + arrived.at(2) + "|" + fx.session.serverBase() + arrived.at(3),
                               fx.session.programDir() + "ts.wav"}));
}

// The program may end (running limit, quit) while a login fill or a pop-up's
// click still waits for its script. Deleting the page answers every pending
// script at once; those answers must not reach into the window being
// deleted, nor into whoever waited on it.
void TstSoakFaults::windowEndsWithScriptsPending()
{
    Fixture fx;
    int answers = 0;
    {
        Program prog(fx.session, &fx.player);
        MainWindow &w = prog.window();
        prog.start();
        QVERIFY(waitFor([&] { return w.pageComplete(); }, 20000));
        w.fillLogin([&](const LoginFillResult &) { ++answers; });
        w.loadInFourthFrame(fx.sim.baseUrl(0) + "/nc/show.asp?id=1", [&](bool) { ++answers; });
    }
    QCOMPARE(answers, 0);
}

QTEST_MAIN(TstSoakFaults)
#include "tst_soak_faults.moc"
