// What the tray tells beyond its commands, as logic: the list of recent
// bulletins and the rule that calls the reminder interrupted.
#include "reminder/pollhealth.h"
#include "reminder/recentbulletins.h"

#include <QTest>

using namespace lckb;

class TstReminderStatus : public QObject
{
    Q_OBJECT
private slots:
    void recentBulletinsNewestFirstCappedAndPlain();
    void threeFailuresInARowInterruptUntilAUsableReply();
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
    QCOMPARE(recent.items().first().label(), QStringLiteral("09:25  标题25"));
    QCOMPARE(recent.items().first().bulletin.url, QStringLiteral("http://x/nc/show.asp?id=25"));
    QCOMPARE(recent.items().last().label(), QStringLiteral("09:06  标题6"));

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

QTEST_GUILESS_MAIN(TstReminderStatus)
#include "tst_reminder_status.moc"
