// The simulator as other tests lean on it, seen from a QNetworkAccessManager
// client on 127.0.0.1.
#include "bulletinserver.h"
#include "app/external.h"
#include "fetch.h"
#include "app/gbk.h"

#include <QTime>
#include <QBuffer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTest>

using namespace lckb;
using namespace lckb::sim;

class TstServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<BulletinServer> server;
    std::unique_ptr<QNetworkAccessManager> nam;
    int m_polls = 0;

    QString url(const QString &path, int line = 0) const { return server->baseUrl(line) + path; }
    // Each poll's address is its own, as the client's are (they carry the time).
    Fetched poll(int limitMs = 10000)
    {
        const QString time = QTime(9, 30).addSecs(30 * m_polls++).toString(QStringLiteral("HH:mm:ss"));
        return fetch(*nam, url(QStringLiteral("/nc/tx.asp?s=2026-01-05%20") + time), limitMs);
    }
    QString page(const QString &path) { return decodeGbk(fetch(*nam, url(path)).body); }

private Q_SLOTS:
    void init()
    {
        server = std::make_unique<BulletinServer>();
        QVERIFY(server->listen());
        nam = std::make_unique<QNetworkAccessManager>();
    }
    void cleanup()
    {
        nam.reset();
        server.reset();
    }

    void standingReplyIsEightGbkLines()
    {
        const Fetched f = poll();
        QCOMPARE(f.status, 200);
        QVERIFY(f.contentType.contains("GBK"));
        QStringDecoder strict("GBK");
        const QString text = strict.decode(f.body);
        QVERIFY(!strict.hasError());
        QVERIFY(!text.contains(u'<') && !text.contains(u'>'));
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 8);
        for (int k = 0; k < 8; ++k) {
            const QStringList fields = lines.at(k).split(u',');
            QCOMPARE(fields.size(), 4);
            QCOMPARE(fields.at(2), QString::fromUtf8(kChannelCaptions[k]));
            QCOMPARE(fields.at(3), QStringLiteral("/nc/show.asp?id=") + fields.at(0));
            QVERIFY(fields.at(1).contains(QRegularExpression(QStringLiteral("\\p{Han}"))));
            QVERIFY(page(fields.at(3)).contains(fields.at(1).toHtmlEscaped()));
        }

        // A new bulletin changes its own line only.
        const int id = server->publish(5, QStringLiteral("自定标题"));
        const QStringList after = decodeGbk(poll().body).split(QStringLiteral("\r\n"));
        for (int k = 0; k < 8; ++k) {
            if (k == 5)
                QCOMPARE(after.at(k), QStringLiteral("%1,自定标题,机构纪要,/nc/show.asp?id=%1").arg(id));
            else
                QCOMPARE(after.at(k), lines.at(k));
        }

        server->setChannelLine(2, QStringLiteral("77,改写,澜策资本,/nc/show.asp?id=77"));
        QCOMPARE(decodeGbk(poll().body).split(QStringLiteral("\r\n")).at(2),
                 QStringLiteral("77,改写,澜策资本,/nc/show.asp?id=77"));
        QCOMPARE(server->bulletinTitle(77), QStringLiteral("改写"));

        const QByteArray raw("1,a\xff,b\r\n\r\n\x81", 11);
        server->setReply(raw);
        QCOMPARE(poll().body, raw);

        // Live mode keeps eight lines while bulletins arrive.
        server->setLiveInterval(20);
        const QByteArray before = poll().body;
        QTRY_VERIFY(poll().body != before);
        QCOMPARE(replyLines(poll().body).size(), 8);
    }

    void scenarioPerRequest()
    {
        Step first = Step::reply({QStringLiteral("1,一,澜策政策,/nc/show.asp?id=1"),
                                  QStringLiteral("2,二,澜策公司,/nc/show.asp?id=2")});
        first.times = 2;
        server->setScenario({first, Step::channelLine(1, QStringLiteral("3,三,澜策公司,/nc/show.asp?id=3")),
                             Step::raw("last")});
        QVERIFY(server->scenarioActive());
        QCOMPARE(poll().body, first.body);
        QCOMPARE(poll().body, first.body);
        const QList<QByteArray> changed = replyLines(poll().body);
        QCOMPARE(changed.size(), 8);
        QCOMPARE(changed.at(0), encodeGbk(QStringLiteral("1,一,澜策政策,/nc/show.asp?id=1")));
        QCOMPARE(changed.at(1), encodeGbk(QStringLiteral("3,三,澜策公司,/nc/show.asp?id=3")));
        QCOMPARE(poll().body, QByteArray("last"));
        QCOMPARE(poll().body, QByteArray("last"));
        // Other pages do not use up steps; clearing goes back to the standing reply.
        server->setScenario({Step::raw("a"), Step::raw("b")});
        fetch(*nam, url(QStringLiteral("/nc/banner.asp")));
        QCOMPARE(poll().body, QByteArray("a"));
        server->clearScenario();
        QCOMPARE(poll().body, server->currentReply());
    }

    void scenarioPerTimeStep()
    {
        QElapsedTimer clock;
        server->setScenario({Step::raw("A"), Step::raw("B"), Step::raw("C")}, 1000);
        clock.start();
        QCOMPARE(poll().body, QByteArray("A"));
        QCOMPARE(poll().body, QByteArray("A"));
        QTest::qWait(int(1300 - clock.elapsed()));
        QCOMPARE(poll().body, QByteArray("B"));
        QTest::qWait(int(2300 - clock.elapsed()));
        QCOMPARE(poll().body, QByteArray("C"));
        QTest::qWait(int(3300 - clock.elapsed()));
        QCOMPARE(poll().body, QByteArray("C"));
    }

    void hangAndReset()
    {
        server->setFault(Step::hang());
        QNetworkReply *reply = nam->get(QNetworkRequest(QUrl(url(QStringLiteral("/nc/tx.asp?s=1")))));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QTRY_COMPARE(server->requests(QStringLiteral("/nc/tx.asp")).size(), 1);
        QVERIFY(!finished.wait(400));
        QCOMPARE(reply->bytesAvailable(), 0);
        reply->abort();
        delete reply;
        QCOMPARE(server->requests(QStringLiteral("/nc/tx.asp")).size(), 1);

        // The client's automatic resend after the reset meets the reset too,
        // so the next poll gets the next step.
        server->setScenario({Step::reset(), Step::raw("after")});
        const Fetched r = poll();
        QCOMPARE(r.error, QNetworkReply::RemoteHostClosedError);
        QVERIFY(r.body.isEmpty());
        QCOMPARE(poll().body, QByteArray("after"));
    }

    void dripAndLarge()
    {
        server->setReply("0123456789abcdef");
        server->setFault(Step::drip(15));
        const Fetched d = poll();
        QCOMPARE(d.status, 200);
        QCOMPARE(d.body, QByteArray("0123456789abcdef"));
        QVERIFY2(d.pieces >= 4, QByteArray::number(d.pieces));

        // A drip step with no bytes of its own drips the reply before it.
        server->setScenario({Step::raw("xyz"), Step::drip(1)});
        QCOMPARE(poll().body, QByteArray("xyz"));
        QCOMPARE(poll().body, QByteArray("xyz"));

        const qint64 size = 8 * 1024 * 1024 + 3;
        server->setFault(Step::large(size));
        const Fetched l = poll(30000);
        QCOMPARE(l.status, 200);
        QCOMPARE(l.contentLength, size);
        QCOMPARE(l.body.size(), size);
        QVERIFY(l.body.startsWith(server->currentReply() + "\r\n" + server->currentReply()));
    }

    void errorReplies()
    {
        server->setFault(Step::htmlError());
        Fetched f = poll();
        QCOMPARE(f.status, 200);
        QVERIFY(f.body.contains('<') && f.body.contains('>'));

        for (int code : {404, 500}) {
            server->setFault(Step::httpStatus(code));
            f = poll();
            QCOMPARE(f.status, code);
            QCOMPARE(f.body, defaultStatusBody(code));
            QVERIFY(decodeGbk(f.body).contains(code == 404 ? QStringLiteral("找不到") : QStringLiteral("服务器")));
        }
        server->setFault(Step::httpStatus(503, QStringLiteral("维护中")));
        f = poll();
        QCOMPARE(f.status, 503);
        QCOMPARE(decodeGbk(f.body), QStringLiteral("维护中"));

        server->setFault(Step::badGbk());
        f = poll();
        QCOMPARE(f.body, badGbkBody());
        const QList<QByteArray> lines = replyLines(f.body);
        QCOMPARE(lines.size(), 8);
        for (const QByteArray &line : lines)
            QVERIFY2(decodeGbk(line).contains(QChar::ReplacementCharacter), line.toHex());
        QVERIFY(f.body.endsWith('\xB0'));

        // Redirect follow-ups loop whatever the scenario says and use up no
        // step, nor does a resend of the request that met the loop.
        server->setScenario({Step::redirectLoop(), Step::raw("out")});
        f = poll();
        QCOMPARE(f.error, QNetworkReply::TooManyRedirectsError);
        QCOMPARE(poll().body, QByteArray("out"));
    }

    void mainPageAndFrames()
    {
        Fetched f = fetch(*nam, url(QString::fromLatin1(kMainPagePath)));
        QVERIFY(f.contentType.contains("GBK"));
        const QRegularExpression frameSrc(QStringLiteral("<frame [^>]*src=\"([^\"]+)\""));
        auto sources = [&](const QByteArray &body) {
            QStringList out;
            for (const auto &m : frameSrc.globalMatch(decodeGbk(body)))
                out << m.captured(1);
            return out;
        };
        const QStringList four = sources(f.body);
        QCOMPARE(four, QStringList({"/nc/banner.asp", "/nc/news.asp?p=1", "/nc/news.asp?p=2", "/nc/login.asp"}));
        QVERIFY(decodeGbk(f.body).contains(QStringLiteral("charset=gbk")));
        for (const QString &src : four)
            QCOMPARE(fetch(*nam, url(src)).status, 200);

        server->setFrameCount(3);
        QCOMPARE(sources(fetch(*nam, url(QString::fromLatin1(kMainPagePath))).body).size(), 3);
        server->setFrameCount(5);
        const QStringList five = sources(fetch(*nam, url(QString::fromLatin1(kMainPagePath))).body);
        QCOMPARE(five.size(), 5);
        QCOMPARE(five.at(3), QStringLiteral("/nc/login.asp"));

        server->setMainPageDelay(600);
        QNetworkReply *slow = nam->get(QNetworkRequest(QUrl(url(QString::fromLatin1(kMainPagePath)))));
        QSignalSpy done(slow, &QNetworkReply::finished);
        QVERIFY(!done.wait(250));
        QVERIFY(done.wait(5000));
        QCOMPARE(slow->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        delete slow;

        const QString banner = page(QStringLiteral("/nc/banner.asp"));
        QVERIFY(banner.contains(QStringLiteral("http://www.MARKET.EXAMPLE.NET/shop?x=1")));
        QCOMPARE(banner.count(QStringLiteral("target=\"_blank\"")), 4);
        QVERIFY(banner.contains(QStringLiteral("method=\"post\" target=\"_blank\" action=\"/nc/echo.asp\"")));
        QVERIFY(page(QStringLiteral("/nc/report.asp?id=1"))
                    .contains(QStringLiteral("href=\"/nc/report.asp?id=2\" target=\"_blank\"")));
    }

    void loginAndEcho()
    {
        const QString form = page(QStringLiteral("/nc/login.asp"));
        for (const char *input : {"type=\"hidden\" id=\"trapHidden\" name=\"UserName\"",
                                  "type=\"text\" id=\"trapLower\" name=\"username\"",
                                  "type=\"text\" id=\"userName\" name=\"UserName\"",
                                  "type=\"password\" id=\"userPassword\" name=\"UserPassword\""})
            QVERIFY2(form.contains(QLatin1String(input)), input);

        const QByteArray name = encodeGbk(QStringLiteral("张三")).toPercentEncoding();
        Fetched f = fetch(*nam, url(QStringLiteral("/nc/login.asp")), 10000,
                          "UserName=&username=&UserName=" + name + "&UserPassword=pw");
        QString text = decodeGbk(f.body);
        QVERIFY(text.contains(QStringLiteral("<span id=\"who\">张三</span>")));
        QVERIFY(text.contains(QStringLiteral("data-filled=\"0\"")));
        text = decodeGbk(fetch(*nam, url(QStringLiteral("/nc/login.asp")), 10000,
                               "UserName=x&username=&UserName=" + name + "&UserPassword=pw").body);
        QVERIFY(text.contains(QStringLiteral("data-filled=\"1\"")));

        const QByteArray body = "note=" + encodeGbk(QStringLiteral("澜策")).toPercentEncoding() + "&raw=<b>";
        text = decodeGbk(fetch(*nam, url(QStringLiteral("/nc/echo.asp?x=1")), 10000, body).body);
        QVERIFY(text.contains(QStringLiteral("<pre id=\"method\">POST</pre>")));
        QVERIFY(text.contains(QStringLiteral("<pre id=\"target\">/nc/echo.asp?x=1</pre>")));
        // Header names are sent as the client spells them: Qt 6.8 in lower case.
        QVERIFY(text.contains(QStringLiteral("X-Probe: &lt;probe &amp; co&gt;"), Qt::CaseInsensitive));
        QVERIFY(text.contains(QStringLiteral("&amp;raw=&lt;b&gt;</pre>")));
        QVERIFY(text.contains(QStringLiteral("<td>note</td><td>澜策</td>")));
        QVERIFY(!text.contains(QStringLiteral("<b>")));
    }

    void quoteAndBulletinPages()
    {
        const QString index = page(QString::fromLatin1(kQuoteIndexPath));
        QVERIFY(index.contains(QStringLiteral("src=\"%1\"").arg(QString::fromLatin1(kQuoteWisdomPath).toHtmlEscaped())));
        QCOMPARE(index.count(QStringLiteral("<frame ")), 2);
        QVERIFY(page(QString::fromLatin1(kQuoteWisdomPath)).contains(QStringLiteral("智慧选股")));
        QVERIFY(page(QStringLiteral("/nc/show.asp?id=4242")).contains(QStringLiteral("id=\"missing\"")));
        const Fetched missing = fetch(*nam, url(QStringLiteral("/nope.asp")));
        QCOMPARE(missing.status, 404);
    }

    // Several requests on one kept-alive connection, sent at once, as
    // browsers and QNetworkAccessManager may: answered in order even when the
    // first is slow; HEAD gets the head alone; a chunked body arrives whole;
    // Connection: close ends it. Requests past the bounds are turned away
    // unlogged.
    void connectionHandling()
    {
        server->setScenario({Step::drip(2, "slow"), Step::raw("fast")});
        QTcpSocket sock;
        sock.connectToHost(QHostAddress::LocalHost, server->ports().at(0));
        sock.write("GET /nc/tx.asp?s=1 HTTP/1.1\r\nHost: h\r\n\r\n"
                   "HEAD /nc/banner.asp HTTP/1.1\r\nHost: h\r\n\r\n"
                   "POST /nc/echo.asp HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "2\r\nk=\r\n1;x=y\r\nv\r\n0\r\n\r\n"
                   "GET /nc/tx.asp?s=2 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
        QTRY_COMPARE(sock.state(), QAbstractSocket::UnconnectedState);
        QByteArray wire = sock.readAll();
        // Splits off one answer: its head, and a body of Content-Length bytes unless HEAD.
        auto next = [&wire](bool hasBody, QByteArray *body) {
            const qsizetype end = wire.indexOf("\r\n\r\n");
            const QByteArray h = end < 0 ? wire : wire.left(end + 4);
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("Content-Length: (\\d+)\r\n")).match(QString::fromLatin1(h));
            const qsizetype n = hasBody && m.hasMatch() ? m.captured(1).toLongLong() : 0;
            *body = wire.mid(h.size(), n);
            wire.remove(0, h.size() + n);
            return h;
        };
        QByteArray body;
        QByteArray h = next(true, &body);
        QVERIFY2(h.startsWith("HTTP/1.1 200 ") && !h.contains("Connection:"), h);
        QCOMPARE(body, QByteArray("slow"));
        h = next(false, &body);
        QVERIFY2(h.startsWith("HTTP/1.1 200 ") && h.contains("charset=GBK"), h);
        QVERIFY(!h.contains("Content-Length: 0\r\n"));
        QVERIFY(next(true, &body).startsWith("HTTP/1.1 200 "));
        QVERIFY(decodeGbk(body).contains(QStringLiteral("<td>k</td><td>v</td>")));
        h = next(true, &body);
        QVERIFY2(h.contains("Connection: close\r\n"), h);
        QCOMPARE(body, QByteArray("fast"));
        QVERIFY2(wire.isEmpty(), wire);
        QCOMPARE(server->requests().size(), 4);
        QCOMPARE(server->requests().at(1).method, QByteArray("HEAD"));
        QCOMPARE(server->requests().at(2).body, QByteArray("k=v"));

        const QByteArray bad[] = {
            "GET /" + QByteArray(HttpServer::kMaxHead + 10, 'a'),
            "GET / HTTP/1.1\r\nX: " + QByteArray(HttpServer::kMaxHead, 'a') + "\r\n\r\n",
            "POST /nc/echo.asp HTTP/1.1\r\nContent-Length: " + QByteArray::number(HttpServer::kMaxBody + 1) + "\r\n\r\n",
            QByteArray("\x16\x03\x01\x02\x00\x01\x00\r\n\r\n", 11),
            "GET /x HTTP/2.0\r\n\r\n",
        };
        const QByteArray status[] = {"431", "431", "413", "400", "505"};
        for (int i = 0; i < int(std::size(bad)); ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, server->ports().at(0));
            s.write(bad[i]);
            QTRY_COMPARE(s.state(), QAbstractSocket::UnconnectedState);
            QVERIFY2(s.readAll().startsWith("HTTP/1.1 " + status[i] + ' '), status[i]);
        }
        QCOMPARE(server->requests().size(), 4);
    }

    void requestLogAndPorts()
    {
        BulletinServer two;
        QVERIFY(two.listen({0, 0}));
        QCOMPARE(two.ports().size(), 2);
        QVERIFY(two.ports().at(0) != two.ports().at(1));
        QCOMPARE(two.baseUrl(1), QStringLiteral("http://127.0.0.1:%1").arg(two.ports().at(1)));
        QBuffer log;
        log.open(QIODevice::WriteOnly);
        two.setLogDevice(&log);
        QSignalSpy seen(&two, &BulletinServer::requestReceived);

        QCOMPARE(fetch(*nam, two.baseUrl(0) + QStringLiteral("/nc/tx.asp?s=a%20b")).status, 200);
        QCOMPARE(fetch(*nam, two.baseUrl(1) + QStringLiteral("/nc/echo.asp"), 10000, "k=v").status, 200);
        QCOMPARE(fetch(*nam, two.baseUrl(1) + QStringLiteral("/x")).status, 404);

        const QList<RequestRecord> recs = two.requests();
        QCOMPARE(recs.size(), 3);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(recs.at(0).port, two.ports().at(0));
        QCOMPARE(recs.at(0).target, QStringLiteral("/nc/tx.asp?s=a%20b"));
        QCOMPARE(recs.at(0).query.queryItemValue(QStringLiteral("s")), QStringLiteral("a b"));
        QCOMPARE(recs.at(1).port, two.ports().at(1));
        QCOMPARE(recs.at(1).method, QByteArray("POST"));
        QCOMPARE(recs.at(1).body, QByteArray("k=v"));
        QCOMPARE(recs.at(1).header("x-probe"), QByteArray("<probe & co>"));
        QCOMPARE(recs.at(2).path, QStringLiteral("/x"));

        const QList<QByteArray> lines = log.data().split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.at(0).endsWith(QByteArray::number(two.ports().at(0)) + "\tGET\t/nc/tx.asp?s=a%20b"));
        QVERIFY(lines.at(1).endsWith("\tPOST\t/nc/echo.asp\tk=v"));

        BulletinServer clash;
        QVERIFY(!clash.listen({two.ports().at(0)}));
        QVERIFY(!clash.errorString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstServer)
#include "tst_server.moc"
