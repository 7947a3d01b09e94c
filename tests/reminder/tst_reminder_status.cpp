// What the tray tells beyond its commands, as logic: the list of recent
// bulletins and its file, the rule that calls the reminder interrupted, and
// when the service page of a window out of sight rests.
#include "app/pagerest.h"
#include "files.h"
#include "manualclock.h"
#include "reminder/pollhealth.h"
#include "reminder/recentbulletins.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <sys/stat.h>

using namespace lckb;

class TstReminderStatus : public QObject
{
    Q_OBJECT
private slots:
    void recentBulletinsNewestFirstCappedAndPlain();
    void recentBulletinsOutliveTheRun();
    void threeFailuresInARowInterruptUntilAUsableReply();
    void aFailedPageLoadsAgainOncePerRecovery();
    void aPageOutOfSightRestsUnlessHeld();
};

void TstReminderStatus::recentBulletinsNewestFirstCappedAndPlain()
{
    const QDate day(2026, 3, 2);
    RecentBulletins recent;
    QVERIFY(recent.items().isEmpty());
    for (int i = 1; i <= 25; ++i)
        recent.add(Bulletin{i % 8, "g", QStringLiteral("标题%1").arg(i), QStringLiteral("http://x/nc/show.asp?id=%1").arg(i), {}},
                   QDateTime(day, QTime(9, i, 59)));
    // The 20 newest, newest first; the time is the one given, to the minute.
    QCOMPARE(recent.items().size(), 20);
    QCOMPARE(recent.items().first().label(day), QStringLiteral("09:25  标题25"));
    QCOMPARE(recent.items().first().bulletin.url, QStringLiteral("http://x/nc/show.asp?id=25"));
    QCOMPARE(recent.items().last().label(day), QStringLiteral("09:06  标题6"));
    // Seen on another day, it says which.
    QCOMPARE(recent.items().last().label(day.addDays(1)), QStringLiteral("03-02 09:06  标题6"));

    // One line of the characters as they are: markup and '&' stay, tabs and
    // line breaks become single blanks. Up to 30 characters stay whole;
    // longer titles keep 29 and an ellipsis, cut between code points.
    QCOMPARE(RecentBulletins::shortTitle(QStringLiteral(" R&D\t<b>新品</b>\r\n发布\u2028会 ")),
             QStringLiteral("R&D <b>新品</b> 发布 会"));
    const QString thirty(30, QChar(0x6F9C));
    QCOMPARE(RecentBulletins::shortTitle(thirty), thirty);
    QCOMPARE(RecentBulletins::shortTitle(thirty + u'x'), QString(29, QChar(0x6F9C)) + QChar(0x2026));
    const QString wide = QString::fromUcs4(U"\U00020000", 1);
    QCOMPARE(RecentBulletins::shortTitle(wide.repeated(31)), wide.repeated(29) + QChar(0x2026));
    QCOMPARE(RecentBulletins::shortTitle(QString(28, u'a') + QStringLiteral(" bcd")), QString(28, u'a') + QChar(0x2026));
}

void TstReminderStatus::recentBulletinsOutliveTheRun()
{
    // Written in one time zone, read in another.
    const std::optional<QByteArray> zone =
        qEnvironmentVariableIsSet("TZ") ? std::optional<QByteArray>(qgetenv("TZ")) : std::nullopt;
    const auto setZone = [](const std::optional<QByteArray> &tz) {
        if (tz)
            qputenv("TZ", *tz);
        else
            qunsetenv("TZ");
        ::tzset();
    };
    setZone(QByteArray("Asia/Shanghai"));
    QTemporaryDir root;
    const QString file = root.filePath("state/lckb/recent");
    const QDate day(2026, 3, 2);
    const auto bulletin = [](int i) {
        return Bulletin{i % 8, QStringLiteral("澜策资本"), QStringLiteral("标题%1").arg(i),
                        QStringLiteral("http://127.0.0.1:1/nc/show.asp?id=%1").arg(i), QStringLiteral("/x/ts.wav"),
                        QStringLiteral("/nc/show.asp?id=%1").arg(i)};
    };
    {
        RecentBulletins run(file);
        QVERIFY(run.items().isEmpty());
        QVERIFY(!QFileInfo::exists(file)); // nothing is written before the first bulletin
        for (int i = 1; i <= 205; ++i)
            run.add(bulletin(i), QDateTime(day, QTime(9, 0)).addSecs(60 * i));
        // A title as the server sends it: one plain line in the file.
        run.add(Bulletin{2, QStringLiteral("组\t名"), QStringLiteral("R&D\t新品\r\n发布"), {}, {},
                         QStringLiteral("/nc/show.asp?id=206&a=\tb")},
                QDateTime(day, QTime(12, 26, 30)));
    }
    // Made for the user only; the newest 200 lines, oldest first, each whole.
    struct stat st = {};
    QVERIFY(::stat(QFile::encodeName(root.filePath("state/lckb")).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 0777), 0700);
    QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QByteArray bytes = testkit::readFile(file);
    QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 201);
    QVERIFY(lines.last().isEmpty());
    QVERIFY(lines.first().endsWith("\t7\t澜策资本\t标题7\t/nc/show.asp?id=7"));
    QCOMPARE(lines.first().left(26), QByteArray("2026-03-02T09:07:00+08:00\t"));
    QVERIFY(lines.at(199).endsWith("\t2\t组 名\tR&D 新品 发布\t/nc/show.asp?id=206&a=%09b"));
    QVERIFY(!bytes.contains("ts.wav") && !bytes.contains("127.0.0.1")); // paths on the service only

    // The same moments eight hours earlier on the clock in UTC; a line
    // without an offset is local time, as files of earlier versions have it.
    setZone(QByteArray("UTC"));
    {
        const QList<RecentBulletin> utc = RecentBulletins(file).items();
        QCOMPARE(utc.first().label(day), QStringLiteral("04:26  R&D 新品 发布"));
        QCOMPARE(utc.first().arrived, QDateTime::fromString(QStringLiteral("2026-03-02T04:26:30Z"), Qt::ISODate));
        RecentBulletin b = utc.first();
        b.arrived = QDateTime(day, QTime(4, 26, 30)); // local time, here UTC
        QVERIFY(RecentBulletins::fileLine(b).startsWith("2026-03-02T04:26:30+00:00\t"));
        const auto plain = RecentBulletins::parseLine("2026-03-02T09:31:00\t1\tg\tt\t/nc/x");
        QVERIFY(plain);
        QCOMPARE(plain->arrived, QDateTime(day, QTime(9, 31)));
        QCOMPARE(plain->arrived.timeSpec(), Qt::LocalTime);
    }
    setZone(QByteArray("Asia/Shanghai"));

    // The next run: the newest 20, dated once the day is over, and opened
    // by their paths.
    RecentBulletins next(file);
    QVERIFY(next.notice().isEmpty());
    QList<RecentBulletin> items = next.items();
    QCOMPARE(items.size(), RecentBulletins::kLimit);
    QCOMPARE(items.first().label(day.addDays(1)), QStringLiteral("03-02 12:26  R&D 新品 发布"));
    QCOMPARE(items.first().label(day), QStringLiteral("12:26  R&D 新品 发布"));
    QCOMPARE(items.first().bulletin.path, QStringLiteral("/nc/show.asp?id=206&a=%09b"));
    QCOMPARE(items.at(1).bulletin.group, QStringLiteral("澜策资本"));
    QCOMPARE(items.last().bulletin.title, QStringLiteral("标题187"));
    QCOMPARE(items.last().arrived, QDateTime(day, QTime(12, 7)));
    // It keeps adding where the last run stopped, still 200 at most.
    next.add(bulletin(207), QDateTime(day.addDays(1), QTime(8, 0)));
    QCOMPARE(next.items().at(1).bulletin.title, QStringLiteral("R&D 新品 发布"));
    lines = testkit::readFile(file).split('\n');
    QCOMPARE(lines.size(), 201);
    QVERIFY(lines.first().contains("\t标题8\t"));

    // Bad lines go, each alone; a last line without its end is one a writer
    // never finished.
    const QByteArray good = RecentBulletins::fileLine({QDateTime(day, QTime(9, 31)), bulletin(1)});
    QVERIFY(good.endsWith('\n'));
    const QByteArray bad[] = {
        "garbage\n",
        "2026-03-02T09:31:00\t9\tg\tt\t/nc/x\n",               // no such channel
        "2026-13-02T09:31:00\t1\tg\tt\t/nc/x\n",               // no such date
        "2026-03-02T09:31:00\t1\tg\tt\t//evil.example/x\n",    // another host
        "2026-03-02T09:31:00\t1\tg\tt\thttp://evil.example/\n", // not a path
        "2026-03-02T09:31:00\t1\tg\tt\t/nc/x\textra\n",        // a field too many
        "2026-03-02T09:31:00\t1\tg\t\xff\xfe\t/nc/x\n",         // not UTF-8
        "2026-03-02T09:31:00\t1\tg\tt\r\t/nc/x\n",              // a control character
        "2026-03-02T09:31:00\t1\tg\t" + QByteArray(5000, 'x') + "\t/nc/x\n",
    };
    QByteArray mixed = good;
    for (const QByteArray &b : bad)
        mixed += b + good;
    QVERIFY(testkit::writeFile(file, mixed + good.chopped(2))); // cut inside its path
    // What the next save would drop is kept: the file goes aside whole,
    // once, and the user is told where.
    const QDir folder = QFileInfo(file).dir();
    const auto setAside = [&] {
        return folder.entryList({"recent.set-aside-*"}, QDir::AllEntries | QDir::System | QDir::Hidden);
    };
    {
        RecentBulletins mixedRun(file);
        items = mixedRun.items();
        QCOMPARE(items.size(), int(std::size(bad)) + 1);
        for (const RecentBulletin &b : items)
            QCOMPARE(b.bulletin.path, QStringLiteral("/nc/show.asp?id=1"));
        QCOMPARE(setAside().size(), 1);
        QCOMPARE(testkit::readFile(folder.filePath(setAside().first())), mixed + good.chopped(2));
        QVERIFY(mixedRun.notice().contains(folder.filePath(setAside().first())));
        QVERIFY(mixedRun.notice().startsWith(QStringLiteral("最近提醒的记录文件无法完整读取")));
        QVERIFY(!QFileInfo::exists(file));
        mixedRun.add(bulletin(2), QDateTime(day, QTime(9, 40)));
        QCOMPARE(RecentBulletins(file).items().size(), int(std::size(bad)) + 2);
        QVERIFY(RecentBulletins(file).notice().isEmpty());
        QCOMPARE(setAside().size(), 1);
        QVERIFY(QFile::remove(folder.filePath(setAside().first())));
    }

    // Oversized, a FIFO, a link out of its folder: refused by the reader,
    // never replaced; each is set aside as it is (a link as a link, what it
    // points to untouched) and the list starts anew.
    const QByteArray huge = good.repeated(RecentBulletins::kFileLimit / good.size() + 1);
    QVERIFY(testkit::writeFile(file, huge));
    {
        RecentBulletins big(file);
        QVERIFY(big.items().isEmpty());
        QVERIFY(big.notice().contains(QStringLiteral("超过 1 MiB")));
        big.add(bulletin(3), QDateTime(day, QTime(10, 0)));
        QCOMPARE(setAside().size(), 1);
        QCOMPARE(testkit::readFile(folder.filePath(setAside().first())), huge);
        QCOMPARE(RecentBulletins(file).items().size(), 1);
        QVERIFY(QFile::remove(folder.filePath(setAside().first())));
    }
    QVERIFY(QFile::remove(file));
    QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    QVERIFY(RecentBulletins(file).items().isEmpty());
    QCOMPARE(setAside().size(), 1);
    QVERIFY(QFileInfo(folder.filePath(setAside().first())).exists());
    QVERIFY(QFile::remove(folder.filePath(setAside().first())));
    const QString outside = root.filePath("elsewhere");
    QVERIFY(testkit::writeFile(outside, good));
    QVERIFY(QFile::link(outside, file));
    RecentBulletins linked(file);
    QVERIFY(linked.items().isEmpty());
    linked.add(bulletin(3), QDateTime(day, QTime(10, 0)));
    QCOMPARE(testkit::readFile(outside), good);
    QVERIFY(!QFileInfo(file).isSymLink());
    QCOMPARE(RecentBulletins(file).items().size(), 1);
    QCOMPARE(setAside().size(), 1);
    QCOMPARE(QFileInfo(folder.filePath(setAside().first())).symLinkTarget(), outside);

    // A save killed before its rename leaves its new file: the next start
    // removes those, by their exact names, and nothing else, never
    // following a link.
    const QStringList stale{"recent.a1B2c3", "recent.ZZZZZZ"};
    const QStringList kept{"recent.a1B2c", "recent.a1B2c3d", "recent.a1-2c3", "recent.ZZZZZZ.x", "other.a1B2c3"};
    for (const QString &n : stale + kept)
        QVERIFY(testkit::writeFile(folder.filePath(n), "x"));
    QVERIFY(QFile::link(outside, folder.filePath("recent.L1nk00")));
    QVERIFY(folder.mkdir("recent.D1r000"));
    QCOMPARE(RecentBulletins(file).items().size(), 1);
    for (const QString &n : stale)
        QVERIFY2(!QFileInfo::exists(folder.filePath(n)), qPrintable(n));
    for (const QString &n : kept)
        QVERIFY2(QFileInfo::exists(folder.filePath(n)), qPrintable(n));
    QVERIFY(QFileInfo(folder.filePath("recent.L1nk00")).isSymLink());
    QVERIFY(QFileInfo(folder.filePath("recent.D1r000")).isDir());
    QCOMPARE(testkit::readFile(outside), good);
    setZone(zone);

}

void TstReminderStatus::threeFailuresInARowInterruptUntilAUsableReply()
{
    const QDate day(2026, 3, 2);
    const auto at = [day](int h, int m, int s) { return QDateTime(day, QTime(h, m, s)); };
    PollHealth h;
    QVERIFY(!h.record(PollOutcome::Unchanged, at(10, 4, 40)));
    QVERIFY(!h.record(PollOutcome::FetchFailed, at(10, 5, 10)));
    // A poll asked for while one ran is not a failure, nor does it end a streak.
    QVERIFY(!h.record(PollOutcome::Busy, at(10, 5, 20)));
    QVERIFY(!h.record(PollOutcome::Markup, at(10, 5, 40)));
    QCOMPARE(h.failures(), 2);
    QVERIFY(!h.interrupted());
    QCOMPARE(h.notice(), QString());
    QVERIFY(h.record(PollOutcome::Empty, at(10, 6, 10)));
    QVERIFY(h.interrupted());
    QCOMPARE(h.failingSince(), at(10, 5, 10));
    QCOMPARE(h.notice(), QStringLiteral("提醒中断：自 10:05 起未能取到提醒"));
    // More of the same changes nothing, not even the time.
    QVERIFY(!h.record(PollOutcome::FetchFailed, at(10, 30, 0)));
    QCOMPARE(h.notice(), QStringLiteral("提醒中断：自 10:05 起未能取到提醒"));

    // The first usable reply ends it.
    QVERIFY(h.record(PollOutcome::Compared, at(10, 30, 30)));
    QVERIFY(!h.interrupted());
    QCOMPARE(h.failures(), 0);
    QVERIFY(h.failingSince().isNull());
    QCOMPARE(h.notice(), QString());

    // Failures count only in a row: a usable reply between them starts over.
    h.record(PollOutcome::FetchFailed, at(11, 0, 0));
    h.record(PollOutcome::FetchFailed, at(11, 0, 30));
    h.record(PollOutcome::Unchanged, at(11, 1, 0));
    h.record(PollOutcome::Markup, at(11, 58, 30));
    h.record(PollOutcome::Markup, at(11, 59, 0));
    QVERIFY(!h.interrupted());
    QVERIFY(h.record(PollOutcome::FetchFailed, at(11, 59, 30)));
    QCOMPARE(h.notice(), QStringLiteral("提醒中断：自 11:58 起未能取到提醒"));
}

void TstReminderStatus::aFailedPageLoadsAgainOncePerRecovery()
{
    using O = PollOutcome;
    PageRecovery r;
    // For each poll that ends so in turn, whether the page loads again.
    const auto polls = [&r](std::initializer_list<PollOutcome> outcomes) {
        QList<bool> loads;
        for (PollOutcome o : outcomes)
            loads << r.pollEnded(o);
        return loads;
    };
    // A page that loaded is left alone, whatever the poll does.
    r.pageLoaded(true);
    QCOMPARE(polls({O::FetchFailed, O::Compared}), (QList<bool>{false, false}));
    // Started before the network: page and polls fail until the server is
    // there; the first usable reply loads the page again, once.
    r.pageLoaded(false);
    QCOMPARE(polls({O::FetchFailed, O::Markup, O::Busy, O::Unchanged}), (QList<bool>{false, false, false, true}));
    // That load fails too: no second try while the polls go on succeeding;
    // the next outage and recovery try again.
    r.pageLoaded(false);
    QCOMPARE(polls({O::Compared, O::Busy, O::Unchanged, O::Empty, O::Compared}),
             (QList<bool>{false, false, false, false, true}));
    // A page that then loads ends it.
    r.pageLoaded(true);
    QCOMPARE(polls({O::FetchFailed, O::Compared}), (QList<bool>{false, false}));
}

void TstReminderStatus::aPageOutOfSightRestsUnlessHeld()
{
    using S = PageRest::State;
    ManualClock clock(QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
    PageRest r(&clock, 5000, 600000);
    // On screen it never rests, however long.
    clock.advanceMs(3600 * 1000);
    QCOMPARE(r.check(false), S::Active);
    QCOMPARE(r.nextCheckInMs(), -1);

    // Minimised: frozen after the grace, discarded after the longer time.
    r.setShown(false);
    QCOMPARE(r.check(false), S::Active);
    QCOMPARE(r.nextCheckInMs(), 5000);
    clock.advanceMs(4999);
    QCOMPARE(r.check(false), S::Active);
    clock.advanceMs(1);
    QCOMPARE(r.check(false), S::Frozen);
    QCOMPARE(r.nextCheckInMs(), 595000);
    // A dialog open: the page stays as it is (not woken, no deeper), and
    // the time starts anew once it is closed.
    clock.advanceMs(600000);
    QCOMPARE(r.check(true), S::Frozen);
    QCOMPARE(r.nextCheckInMs(), 600000);
    clock.advanceMs(599999);
    QCOMPARE(r.check(false), S::Frozen);
    clock.advanceMs(1);
    QCOMPARE(r.check(false), S::Discarded);
    QCOMPARE(r.nextCheckInMs(), -1);
    // Shown again: active at once.
    r.setShown(true);
    QCOMPARE(r.state(), S::Active);
    QCOMPARE(r.check(false), S::Active);

    // Held at the moment it would freeze: no rest begins.
    r.setShown(false);
    clock.advanceMs(5000);
    QCOMPARE(r.check(true), S::Active);
    QCOMPARE(r.nextCheckInMs(), 5000);
    clock.advanceMs(5000);
    QCOMPARE(r.check(false), S::Frozen);
    // A bulletin opens in the page out of sight: awake, the grace anew.
    r.wake();
    QCOMPARE(r.check(false), S::Active);
    QCOMPARE(r.nextCheckInMs(), 5000);
    // A clock set back is no time out of sight.
    clock.advanceMs(-3600 * 1000);
    QCOMPARE(r.check(false), S::Active);
    QCOMPARE(r.nextCheckInMs(), 5000);

    // Discarded sooner than the grace: straight to discarded.
    PageRest soon(&clock, 5000, 2000);
    soon.setShown(false);
    QCOMPARE(soon.nextCheckInMs(), 2000);
    clock.advanceMs(2000);
    QCOMPARE(soon.check(false), S::Discarded);
}

QTEST_GUILESS_MAIN(TstReminderStatus)
#include "tst_reminder_status.moc"
