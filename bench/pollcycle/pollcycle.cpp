// CPU time of one reminder poll cycle in the client: the fetch over loopback,
// the GBK decode and the comparison with the baseline, with an alert sink
// that does nothing (no pop-up, no sound). The simulator runs in a thread of
// its own; its CPU time is taken out of the process's, so the figure is what
// the client alone spends. The HTTP thread of the network access manager is
// the client's and stays in.
//
// QBENCHMARK gives the wall time per cycle; the CPU time per cycle, summed
// over all of QBENCHMARK's runs of a row, comes out at the end as a QINFO line
// "cpu per cycle [ROW]: X us over N cycles", which bench/run reads.
#include "bulletinserver.h"
#include "app/gbk.h"
#include "reminder/reminderpoll.h"

#include <QEventLoop>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <ctime>
#include <optional>
#include <pthread.h>

using namespace lckb;

namespace {

// Nothing is raised or played: the cycle ends where the alerts would begin.
struct QuietAlerts final : AlertSink
{
    int announced = 0;
    void announce(const Bulletin &) override { ++announced; }
    void playSound(const QString &) override {}
};

qint64 cpuNs(clockid_t clock)
{
    timespec ts = {};
    ::clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Eight channel lines (with `mark` in every id, so two marks differ on all
// eight), padded with further lines to `size` bytes when size is larger.
QByteArray makeReply(int mark, qsizetype size)
{
    const char *groups[8] = {"澜策政策", "澜策公司", "澜策资本", "澜内传真",
                             "私募周报", "机构纪要", "标题速递", "题材速递"};
    QStringList lines;
    for (int k = 0; k < 8; ++k) {
        const int id = mark * 100 + k;
        lines << QStringLiteral("%1,澜江电力第%2号公告：拟回购不超过%3亿元股份,%4,/nc/show.asp?id=%1")
                     .arg(id)
                     .arg(mark)
                     .arg(k + 1)
                     .arg(QString::fromUtf8(groups[k]));
    }
    QByteArray bytes = encodeGbk(lines.join(QStringLiteral("\r\n")));
    for (int n = 0;; ++n) {
        const QByteArray next = encodeGbk(
            QStringLiteral("\r\n%1,低空经济概念持续走强 产业链梳理第%1篇,题材速递,/nc/show.asp?id=%1").arg(90000 + n));
        if (bytes.size() + next.size() > size)
            break;
        bytes += next;
    }
    // Made up to the exact size with a line of digits.
    if (size - bytes.size() > 2)
        bytes += "\r\n" + QByteArray(size - bytes.size() - 2, '9');
    return bytes;
}

} // namespace

class PollCycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cycle_data();
    void cycle();

private:
    void setReply(const QByteArray &bytes);
    void setScenario(const QList<sim::Step> &steps);
    qint64 serverCpuNs() const { return cpuNs(m_serverClock); }

    QThread m_thread;
    sim::BulletinServer *m_server = nullptr;
    clockid_t m_serverClock = CLOCK_THREAD_CPUTIME_ID;
    ServerLines m_base;
    // Per row, over every run QBENCHMARK makes of it: client CPU time and cycles.
    QMap<QByteArray, QPair<qint64, int>> m_totals;
};

void PollCycle::initTestCase()
{
    m_thread.start();
    QObject anchor;
    anchor.moveToThread(&m_thread);
    QString base;
    QMetaObject::invokeMethod(
        &anchor,
        [this, &base] {
            // Born in the server thread, so its sockets live there too.
            m_server = new sim::BulletinServer;
            if (m_server->listen({0}))
                base = m_server->baseUrl(0);
            ::pthread_getcpuclockid(::pthread_self(), &m_serverClock);
        },
        Qt::BlockingQueuedConnection);
    QVERIFY2(!base.isEmpty(), "the simulator could not listen");
    const QString host = base.mid(base.indexOf(QLatin1String("//")) + 2);
    const auto lines = makeServerLines({host, host, host});
    QVERIFY(lines);
    m_base = *lines;
}

void PollCycle::cleanupTestCase()
{
    for (auto it = m_totals.cbegin(); it != m_totals.cend(); ++it)
        qInfo("cpu per cycle [%s]: %.1f us over %d cycles", it.key().constData(),
              double(it.value().first) / it.value().second / 1000.0, it.value().second);
    if (m_server)
        QMetaObject::invokeMethod(m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_server = nullptr;
    m_thread.quit();
    m_thread.wait();
}

void PollCycle::setReply(const QByteArray &bytes)
{
    QMetaObject::invokeMethod(m_server, [this, bytes] { m_server->setReply(bytes); },
                              Qt::BlockingQueuedConnection);
}

void PollCycle::setScenario(const QList<sim::Step> &steps)
{
    QMetaObject::invokeMethod(m_server, [this, steps] { m_server->setScenario(steps); },
                              Qt::BlockingQueuedConnection);
}

void PollCycle::cycle_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("changing");
    // The everyday poll: nothing new since the last one.
    QTest::newRow("8 lines, unchanged") << qsizetype(0) << false;
    // Every channel changed: the whole comparison runs, eight announcements.
    QTest::newRow("8 lines, 8 changed") << qsizetype(0) << true;
    // A server gone wrong: 1 MiB of lines, under the fetch's size limit.
    QTest::newRow("1 MiB, unchanged") << qsizetype(1024 * 1024) << false;
    QTest::newRow("1 MiB, 8 changed") << qsizetype(1024 * 1024) << true;
}

void PollCycle::cycle()
{
    QFETCH(qsizetype, size);
    QFETCH(bool, changing);
    const QByteArray replies[2] = {makeReply(1, size), makeReply(2, size)};
    // The server takes the next step of its list per request, so the loop
    // below leaves it nothing to do but answer. Status steps are served as
    // they are, without the title bookkeeping reply steps get, which on 1 MiB
    // would take longer than the benchmark itself.
    if (changing) {
        QList<sim::Step> steps;
        for (int i = 0; i < (size > 0 ? 64 : 2048); ++i) {
            sim::Step step = sim::Step::httpStatus(200);
            step.body = replies[i % 2];
            steps << step;
        }
        setScenario(steps);
    } else {
        setReply(replies[0]);
    }

    QTemporaryDir dir; // for the choices set below
    Session s(dir.path());
    s.serverLines = m_base;
    for (int k = 0; k < 8; ++k)
        s.choices.setChannelOn(k, true);
    QuietAlerts quiet;
    ReminderPoll poll(s, quiet);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::optional<PollOutcome> outcome;
    connect(&poll, &ReminderPoll::pollFinished, &loop, [&](PollOutcome o) {
        outcome = o;
        loop.quit();
    });

    // One poll from start to end; false if it did not end as it should.
    qint64 cpu = 0;
    int cycles = 0;
    auto oneCycle = [&](bool measured) {
        outcome.reset();
        const qint64 proc0 = cpuNs(CLOCK_PROCESS_CPUTIME_ID);
        const qint64 server0 = serverCpuNs();
        poll.pollOnce();
        if (!outcome) {
            limit.start(15000);
            loop.exec();
            limit.stop();
        }
        if (measured) {
            cpu += (cpuNs(CLOCK_PROCESS_CPUTIME_ID) - proc0) - (serverCpuNs() - server0);
            ++cycles;
        }
        return outcome == (changing ? PollOutcome::Compared : PollOutcome::Unchanged);
    };

    // The first reply only becomes the baseline, and the first fetch opens
    // the connection; later polls reuse it, as they do against a live server.
    QVERIFY(oneCycle(false) || changing);
    QVERIFY(oneCycle(false));
    QVERIFY(!changing || quiet.announced == 8);

    bool ok = true;
    QBENCHMARK {
        ok = oneCycle(true) && ok;
    }
    QVERIFY2(ok, "a poll ended otherwise than expected (more cycles than the server's steps?)");
    auto &total = m_totals[QTest::currentDataTag()];
    total.first += cpu;
    total.second += cycles;
}

QTEST_GUILESS_MAIN(PollCycle)
#include "pollcycle.moc"
