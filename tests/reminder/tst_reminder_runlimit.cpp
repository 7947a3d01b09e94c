// The running limit on a manual clock.
#include "manualclock.h"
#include "reminder/runlimit.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

using namespace lckb;

class TstReminderRunLimit : public QObject
{
    Q_OBJECT
private slots:
    void minuteBoundaries();
    void limitEndsOnceAfterItsMinutes();
};

void TstReminderRunLimit::minuteBoundaries()
{
    const QDate day(2014, 1, 28), next = day.addDays(1);
    const QDateTime start(day, QTime(9, 0, 30));
    QCOMPARE(lckb::minuteBoundaries(start, QDateTime(day, QTime(9, 0, 59))), 0);
    QCOMPARE(lckb::minuteBoundaries(start, QDateTime(day, QTime(9, 1, 0))), 1);
    QCOMPARE(lckb::minuteBoundaries(start, QDateTime(day, QTime(21, 0, 59))), 720);
    QCOMPARE(lckb::minuteBoundaries(start, QDateTime(day, QTime(21, 1, 0))), 721);
    QCOMPARE(lckb::minuteBoundaries(start, QDateTime(day, QTime(8, 59, 59))), -1);
    QCOMPARE(lckb::minuteBoundaries(QDateTime(day, QTime(23, 59, 59)), QDateTime(next, QTime(0, 0))), 1);
    QCOMPARE(lckb::minuteBoundaries(QDateTime(day, QTime(20, 30)), QDateTime(next, QTime(8, 31, 1))), 721);
    // Before 1970 the cut still goes down to the minute.
    const QDate old(1969, 12, 31);
    QCOMPARE(lckb::minuteBoundaries(QDateTime(old, QTime(23, 58, 59), QTimeZone::utc()), QDateTime(old, QTime(23, 59), QTimeZone::utc())), 1);
}

void TstReminderRunLimit::limitEndsOnceAfterItsMinutes()
{
    const QDate day(2014, 1, 28);
    ManualClock clock(QDateTime(day, QTime(9, 0, 30)));
    RunLimit limit(&clock, 5);
    QSignalSpy reached(&limit, &RunLimit::limitReached);
    limit.start();
    QCOMPARE(limit.startedAt(), clock.now());

    // The clock set back moves the end away; set forward it comes nearer.
    clock.set(QDateTime(day.addDays(-1), QTime(20, 0)));
    limit.check();
    clock.set(QDateTime(day, QTime(21, 0, 59)));
    limit.check();
    QCOMPARE(reached.count(), 0);
    clock.set(QDateTime(day, QTime(21, 1)));
    QTRY_COMPARE(reached.count(), 1); // through the timer
    QTest::qWait(30);
    limit.check();
    QCOMPARE(reached.count(), 1);
}

QTEST_GUILESS_MAIN(TstReminderRunLimit)
#include "tst_reminder_runlimit.moc"
