// The page fetch against servers on 127.0.0.1 that answer well, badly or not at all.
#include "app/pagefetch.h"
#include "rawhttpserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace lckb;

namespace {
// Runs one fetch to its end in the test's event loop.
FetchResult fetch(PageFetch &f, const QString &url, const QString &charset = "GB2312", int waitMs = 20000)
{
    FetchResult out;
    bool done = false;
    f.fetchText(url, charset, [&](const FetchResult &r) {
        out = r;
        done = true;
    });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(done, waitMs); }();
    return out;
}
} // namespace

class TstPageFetch : public QObject
{
    Q_OBJECT
private slots:
    void bodiesOfAnyStatusAreDecoded();
    void requestLineIsTheAddressAsGiven();
    void failuresAreReportedNotHung();
    void theEventLoopRunsWhileWaiting();
    void bytesToText();
};

void TstPageFetch::bodiesOfAnyStatusAreDecoded()
{
    RawHttpServer server([](const QByteArray &head) {
        if (head.startsWith("GET /gbk"))
            return RawHttpServer::ok("12,\xD6\xD0\xCE\xC4,34\r\n"); // 中文
        if (head.startsWith("GET /empty"))
            return RawHttpServer::ok("");
        if (head.startsWith("GET /bad"))
            return RawHttpServer::ok("a\xFF" "b\xD6");
        return RawHttpServer::ok("<html>\xD5\xD2\xB2\xBB\xB5\xBD</html>", 404); // 找不到
    });
    PageFetch f;
    FetchResult r = fetch(f, server.base() + "/gbk");
    QVERIFY(r.ok);
    QCOMPARE(r.text, QStringLiteral("12,中文,34\r\n"));
    QCOMPARE(r.httpStatus, 200);

    r = fetch(f, server.base() + "/empty");
    QVERIFY(r.ok);
    QVERIFY(r.text.isEmpty());

    r = fetch(f, server.base() + "/missing");
    QVERIFY(r.ok);
    QCOMPARE(r.httpStatus, 404);
    QCOMPARE(r.text, QStringLiteral("<html>找不到</html>"));

    r = fetch(f, server.base() + "/bad");
    QVERIFY(r.ok);
    QCOMPARE(r.text, QStringLiteral("a\uFFFDb\uFFFD"));
    QCOMPARE(f.pending(), 0);
}

void TstPageFetch::requestLineIsTheAddressAsGiven()
{
    RawHttpServer server([](const QByteArray &) { return RawHttpServer::ok("x"); });
    PageFetch f;
    QVERIFY(fetch(f, server.base() + "/nc/tx.asp?s=2014-1-28 10:15:00").ok);
    QCOMPARE(server.requestLines().size(), 1);
    // The blank goes out as %20, as a browser sends it; the colons stay.
    QCOMPARE(server.requestLines().first(), QByteArray("GET /nc/tx.asp?s=2014-1-28%2010:15:00 HTTP/1.1"));
}

void TstPageFetch::failuresAreReportedNotHung()
{
    RawHttpServer server([](const QByteArray &head) {
        RawHttpServer::Answer a;
        if (head.startsWith("GET /hang"))
            a.hang = true;
        else if (head.startsWith("GET /drip")) {
            a = RawHttpServer::ok(QByteArray(400, 'x'));
            a.dripDelayMs = 20; // a byte every 20 ms keeps the transfer timer alive
        } else if (head.startsWith("GET /big")) {
            a = RawHttpServer::ok(QByteArray(5000, 'x'));
        } else if (head.startsWith("GET /loop")) {
            a = RawHttpServer::ok("", 302, "Location: /loop\r\n");
        }
        return a;
    });
    PageFetch f;
    f.setTimeLimit(1500);
    f.setSizeLimit(4096);

    QElapsedTimer clock;
    clock.start();
    FetchResult r = fetch(f, server.base() + "/hang");
    QVERIFY(!r.ok);
    QVERIFY(r.text.isEmpty());
    QVERIFY2(clock.elapsed() < 10000, "the time limit ended the fetch");

    r = fetch(f, server.base() + "/drip");
    QVERIFY2(!r.ok, "a drip that outlasts the time limit is cut off");

    r = fetch(f, server.base() + "/big");
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains("4096"));

    r = fetch(f, server.base() + "/loop");
    QVERIFY(!r.ok);

    // Nobody listens on port 1.
    r = fetch(f, "http://127.0.0.1:1/nc/tx.asp");
    QVERIFY(!r.ok);

    r = fetch(f, server.base() + "/hang", "no-such-charset");
    QVERIFY(!r.ok);
    QCOMPARE(f.pending(), 0);
}

void TstPageFetch::theEventLoopRunsWhileWaiting()
{
    RawHttpServer server([](const QByteArray &) {
        RawHttpServer::Answer a = RawHttpServer::ok("done");
        a.dripDelayMs = 5;
        return a;
    });
    PageFetch f;
    QTimer timer;
    int ticks = 0;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);

    bool done = false;
    int ticksWhenDone = -1;
    f.fetchText(server.base() + "/slow", "GB2312", [&](const FetchResult &r) {
        QVERIFY(r.ok);
        QCOMPARE(r.text, QStringLiteral("done"));
        ticksWhenDone = ticks;
        done = true;
    });
    QCOMPARE(ticks, 0); // the call returned before any answer
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QVERIFY2(ticksWhenDone > 0, "the timer ran while the fetch waited");

    // Destroying the fetcher abandons its fetches without calling back.
    bool called = false;
    {
        PageFetch gone;
        gone.fetchText(server.base() + "/slow", "GB2312", [&](const FetchResult &) { called = true; });
    }
    QTest::qWait(300);
    QVERIFY(!called);
}

void TstPageFetch::bytesToText()
{
    bool ok = false;
    QCOMPARE(decodeText("\xD6\xD0" "1", "GB2312", &ok), QStringLiteral("中1"));
    QVERIFY(ok);
    QCOMPARE(decodeText("\xD6\xD0", "gbk", &ok), QStringLiteral("中"));
    QCOMPARE(decodeText("\xE4\xB8\xAD", "UTF-8", &ok), QStringLiteral("中"));
    QVERIFY(ok);
    decodeText("x", "klingon", &ok);
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(TstPageFetch)
#include "tst_pagefetch.moc"
