// The reminder poll against reply servers on 127.0.0.1, with a manual clock
// and recorded alerts.
#include "manualclock.h"
#include "rawhttpserver.h"
#include "reminder/reminderpoll.h"

#include <QTest>
#include <map>

using namespace lckb;
using L = QStringList;

namespace {

// Eight lines "k,Title k,Group k,/nc/k.asp", some replaced, the first `count` joined with CR LF.
QByteArray reply(const std::map<int, QByteArray> &replaced = {}, int count = 8)
{
    QByteArrayList lines;
    for (int k = 0; k < count; ++k) {
        const QByteArray n = QByteArray::number(k);
        const auto it = replaced.find(k);
        lines << (it != replaced.end() ? it->second : n + ",Title " + n + ",Group " + n + ",/nc/" + n + ".asp");
    }
    return lines.join("\r\n");
}

struct Recorder : AlertSink
{
    QStringList calls;
    void announce(const Bulletin &b) override { calls << "msn " + b.group + "|" + b.title + "|" + b.url; }
    void playSound(const QString &f) override { calls << "wav " + f; }
};

struct Rig
{
    QByteArray body;
    int status = 200, drip = 0;
    bool hang = false;
    RawHttpServer::Handler handler = [this](const QByteArray &) {
        RawHttpServer::Answer a = RawHttpServer::ok(body, status);
        a.hang = hang;
        a.dripDelayMs = drip;
        return a;
    };
    RawHttpServer line0{handler}, line1{handler};
    ManualClock clock{QDateTime(QDate(2014, 1, 28), QTime(10, 15, 0))};
    Session s;
    Recorder rec;
    ReminderPoll poll{s, rec};
    QList<PollOutcome> outcomes;

    Rig()
    {
        s.serverLines = {line0.base(), line1.base(), line0.base(), line0.base()};
        s.useFolders("A/"); // no such folder: the choices are never stored
        for (int k = 0; k < 8; ++k)
            s.choices.setChannelOn(k, true);
        s.clock = &clock;
        s.intervals.fetchLimit = 5000;
        QObject::connect(&poll, &ReminderPoll::pollFinished, [this](PollOutcome o) { outcomes << o; });
    }

    // One poll through the timer's handler, run to its end: how it ended, then
    // the alerts it raised, with the lines' base addresses written B0 and B1.
    QStringList run(const QByteArray &reply)
    {
        body = reply;
        rec.calls.clear();
        const qsizetype before = outcomes.size();
        poll.tick();
        if (!QTest::qWaitFor([&] { return outcomes.size() > before; }, 10000))
            return {"no end"};
        static const char *names[] = {"Busy", "FetchFailed", "Markup", "Empty", "Unchanged", "Compared"};
        QStringList out{outcomes.size() == before + 1 ? names[int(outcomes.last())] : "ended twice"};
        for (QString c : std::as_const(rec.calls))
            out << c.replace(line0.base() + "/", "B0/").replace(line1.base() + "/", "B1/");
        return out;
    }
};

} // namespace

class TstReminderPoll : public QObject
{
    Q_OBJECT
private slots:
    void baselineEqualAndMarkupReplies();
    void changedLinesAnnounceTheItemThatArrived();
    void switchesSilenceButTheBaselineMovesOn();
    void malformedAndMissingLines();
    void tickDuringAPollStartsNothing();
    void failuresKeepTheStore();
    void addressFollowsClockAndLine();
};

void TstReminderPoll::baselineEqualAndMarkupReplies()
{
    Rig r;
    const QString R = QString::fromLatin1(reply());
    QCOMPARE(r.run(reply()), L{"Unchanged"}); // the first reply only becomes the baseline
    QCOMPARE(r.poll.store().baseline, R);
    QCOMPARE(r.run(reply()), L{"Unchanged"});
    QCOMPARE(r.run("a<b>c"), L{"Markup"});
    QCOMPARE(r.run(""), L{"Empty"});
    QCOMPARE(r.poll.store().baseline, R);

    // "<" without ">" is an ordinary reply.
    const QByteArray lt = reply({{3, "9,a<b,G,/nc/x.asp"}});
    QCOMPARE(r.run(lt), L({"Compared", "msn G|a<b|B0/nc/x.asp", "wav A/ts.wav"}));
    QCOMPARE(r.poll.store().baseline, QString::fromLatin1(lt));
    QCOMPARE(r.poll.busy(), 0);
}

void TstReminderPoll::changedLinesAnnounceTheItemThatArrived()
{
    Rig r;
    r.run(reply({{1, "7,Old title,\xD7\xE9 A,/nc/a.asp"}})); // 组 in GB2312
    QCOMPARE(r.run(reply({{1, "8,New title,\xD7\xE9 A,/nc/b.asp"}})),
             L({"Compared", "msn 组 A|New title|B0/nc/b.asp", "wav A/ts.wav"}));
    QVERIFY(r.poll.store().baseline.contains("8,New title,组 A,/nc/b.asp"));

    // Several channels in index order, each with its row's sound; channel 6
    // differs in field 0 only.
    const QByteArray three = reply({{1, "9,T1,G1,/nc/1"}, {5, "9,T5,G5,/nc/5"}, {6, "x,Title 6,Group 6,/nc/6.asp"}});
    QCOMPARE(r.run(three), L({"Compared", "msn G1|T1|B0/nc/1", "wav A/ts.wav", "msn G5|T5|B0/nc/5", "wav A/ts1.wav",
                              "msn Group 6|Title 6|B0/nc/6.asp", "wav A/ts1.wav"}));
    // A ninth line is never read, whether it appears or changes.
    QCOMPARE(r.run(three + "\r\n8,Ninth,G,/nc/9"), L{"Compared"});
    QCOMPARE(r.run(three + "\r\n9,Ninth again,G,/nc/9"), L{"Compared"});

    // A title of a million characters (within the size limit of a reply) is
    // cut when it is planned: nothing after it measures the whole text.
    const QByteArray huge(1000000, 'x');
    const QString cut = QString(kMaxFieldLength - 1, u'x') + QChar(0x2026);
    const QByteArray hugeLine = "h," + huge + "," + huge + ",/nc/h";
    QCOMPARE(r.run(reply({{1, hugeLine}, {5, "9,T5,G5,/nc/5"}, {6, "x,Title 6,Group 6,/nc/6.asp"}})),
             L({"Compared", "msn " + cut + "|" + cut + "|B0/nc/h", "wav A/ts.wav"}));
}

void TstReminderPoll::switchesSilenceButTheBaselineMovesOn()
{
    Rig r;
    r.run(reply());
    r.s.choices.setChannelOn(1, false);
    QCOMPARE(r.run(reply({{1, "n,T,G,/nc/n"}})), L{"Compared"});
    r.s.choices.setChannelOn(1, true);
    QCOMPARE(r.run(reply({{1, "n,T,G,/nc/n"}})), L{"Unchanged"}); // not announced later either

    r.s.choices.setReminderOn(false);
    const QByteArray both = reply({{1, "m,T1,G1,/nc/m1"}, {2, "m,T2,G2,/nc/m2"}});
    QCOMPARE(r.run(both), L{"Compared"});
    QCOMPARE(r.poll.store().baseline, QString::fromLatin1(both));

    r.s.choices.setReminderOn(true);
    r.s.choices.setSoundOn(false);
    QCOMPARE(r.run(reply({{1, "m,T1,G1,/nc/m1"}})), L({"Compared", "msn Group 2|Title 2|B0/nc/2.asp"}));
}

void TstReminderPoll::malformedAndMissingLines()
{
    Rig r;
    // Too few fields, or an address that is not a path on the server line:
    // no pop-up, but the channel's sound.
    r.run(reply());
    const QByteArray malformed = reply({{0, "0,Short,Group"}, {1, "1,T,G,//evil.example/x"}, {2, "2,T,G,http://evil/x"},
                 {3, "3,T,G,@evil"}, {4, "4,T,G,javascript:x"}, {5, "5,T,G,\\\\evil"}, {6, "6,T,G,/\\evil"},
                 {7, "7,T7,G7,/nc/ok.asp?u=//x"}});
    const QString ts = "wav A/ts.wav", ts1 = "wav A/ts1.wav";
    QCOMPARE(r.run(malformed), L({"Compared", ts, ts, ts, ts, ts1, ts1, ts1, "msn G7|T7|B0/nc/ok.asp?u=//x", ts1}));
    r.run(reply());

    // Lines missing from the latest reply, then from the baseline, and empty
    // lines raise nothing for their channels.
    QCOMPARE(r.run(reply({{0, "x,T0,G0,/nc/x0"}, {1, ""}}, 3)), L({"Compared", "msn G0|T0|B0/nc/x0", ts}));
    QCOMPARE(r.run(reply({{0, "x,T0,G0,/nc/x0"}})), L{"Compared"});
    // A reply ending in CR LF has one more, empty, line; it is no channel.
    QCOMPARE(r.run(reply({{0, "x,T0,G0,/nc/x0"}}) + "\r\n"), L{"Compared"});

    // Items titled as the server's font tests raise no pop-up; their sound
    // still tells of the change.
    r.run(reply());
    QCOMPARE(r.run(reply({{0, "a,Arial font test,G,/nc/a"}, {1, "b,xARIALx,G,/nc/b"}, {2, "c,Aria,G,/nc/c"}})),
             L({"Compared", ts, ts, "msn G|Aria|B0/nc/c", ts}));
}

void TstReminderPoll::tickDuringAPollStartsNothing()
{
    Rig r;
    r.body = "x";
    r.drip = 20; // about a second for the whole answer
    r.poll.tick();
    QTRY_COMPARE(r.line0.requestLines().size(), 1);
    r.poll.tick();
    r.poll.tick();
    QCOMPARE(r.poll.busy(), 3);
    QVERIFY(r.outcomes.isEmpty());
    r.poll.pollOnce(); // called directly it reports the running poll
    QCOMPARE(r.outcomes, QList<PollOutcome>({PollOutcome::Busy}));
    QTRY_COMPARE_WITH_TIMEOUT(r.outcomes, QList<PollOutcome>({PollOutcome::Busy, PollOutcome::Unchanged}), 10000);
    QCOMPARE(r.poll.busy(), 0);
    QCOMPARE(r.line0.requestLines().size(), 1);

    r.drip = 0;
    QCOMPARE(r.run("x"), L{"Unchanged"});
    QCOMPARE(r.line0.requestLines().size(), 2);

    // The timer drives the poll at the session's interval.
    r.s.intervals.poll = 10;
    r.poll.start();
    QTRY_VERIFY(r.line0.requestLines().size() >= 5);
}

void TstReminderPoll::failuresKeepTheStore()
{
    Rig r;
    r.s.intervals.fetchLimit = 300;
    r.run(reply());
    const QByteArray changed = reply({{4, "n,T4,G4,/nc/n4"}});
    r.hang = true;
    QCOMPARE(r.run(changed), L{"FetchFailed"}); // time limit
    r.hang = false;
    r.status = 404;
    QCOMPARE(r.run("<html><body>Not Found</body></html>"), L{"Markup"});
    r.status = 200;
    r.s.serverLines[2] = "http://127.0.0.1:1"; // nobody listens there
    r.s.choices.setLineIndex(2);
    QCOMPARE(r.run(changed), L{"FetchFailed"});
    QCOMPARE(r.poll.store().baseline, QString::fromLatin1(reply()));

    r.s.choices.setLineIndex(0);
    QCOMPARE(r.run(changed), L({"Compared", "msn G4|T4|B0/nc/n4", "wav A/ts1.wav"}));
    QCOMPARE(r.run(changed), L{"Unchanged"});
}

void TstReminderPoll::addressFollowsClockAndLine()
{
    Rig r;
    QCOMPARE(r.poll.requestUrl(), r.line0.base() + "/nc/tx.asp?s=2014-1-28 10:15:00");
    r.clock.set(QDateTime(QDate(2014, 11, 3), QTime(9, 5, 7)));
    r.run(reply());
    QCOMPARE(r.line0.requestLines(), QByteArrayList({"GET /nc/tx.asp?s=2014-11-3%209:05:07 HTTP/1.1"}));

    // After a line switch the new line's reply is compared with the old
    // line's baseline, and the item's address is on the new line.
    r.s.choices.setLineIndex(1);
    r.clock.advanceMs(30000);
    QCOMPARE(r.run(reply({{2, "n,T,G,/nc/n"}})), L({"Compared", "msn G|T|B1/nc/n", "wav A/ts.wav"}));
    QCOMPARE(r.line1.requestLines(), QByteArrayList({"GET /nc/tx.asp?s=2014-11-3%209:05:37 HTTP/1.1"}));
    QCOMPARE(r.line0.requestLines().size(), 1);
}

QTEST_GUILESS_MAIN(TstReminderPoll)
#include "tst_reminder_poll.moc"
