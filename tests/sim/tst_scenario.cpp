// The scenario file format and the --fault specs.
#include "app/gbk.h"
#include "scenario.h"

#include <QTest>

using namespace lckb;
using namespace lckb::sim;

class TstScenario : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesEveryStep()
    {
        const QString text = QStringLiteral(
            "# a comment\r\n"
            "  advance 2.5\r\n"
            "\r\n"
            "reply\r\n"
            "1,甲,澜策政策,/nc/show.asp?id=1\r\n"
            "# kept: a reply line\r\n"
            "\r\n"
            "x\\x41\\\\\\t\r\n"
            "  end\r\n"
            "times 3\r\n"
            "raw 标\\r\\n\\xff\\x81 z\n"
            "channel 7 9,题,题材速递,/nc/show.asp?id=9\n"
            "empty\n"
            "hang\nreset\ndrip\ndrip 50\nhtml\n"
            "status 404\nstatus 500 内部错误\n"
            "large\nlarge 64K\nbadgbk\nredirect\n");
        ParseError err;
        const auto sc = parseScenario(text, &err);
        QVERIFY2(sc, qPrintable(err.message));
        QCOMPARE(sc->stepMs, 2500);

        Step block = Step::raw(encodeGbk(QStringLiteral("1,甲,澜策政策,/nc/show.asp?id=1\r\n# kept: a reply line\r\n\r\nxA\\\t")));
        block.times = 3;
        const QList<Step> expected = {
            block,
            Step::raw(encodeGbk(QStringLiteral("标")) + QByteArray("\r\n\xff\x81 z")),
            Step::channelLine(7, QStringLiteral("9,题,题材速递,/nc/show.asp?id=9")),
            Step::raw({}),
            Step::hang(), Step::reset(), Step::drip(Step::kDefaultDripMs), Step::drip(50),
            Step::htmlError(), Step::httpStatus(404), Step::httpStatus(500, QStringLiteral("内部错误")),
            Step::large(50 * 1024 * 1024), Step::large(64 * 1024), Step::badGbk(), Step::redirectLoop(),
        };
        QCOMPARE(sc->steps.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(sc->steps.at(i) == expected.at(i), qPrintable(QString::number(i)));

        QCOMPARE(parseScenario(QStringLiteral("advance request\nraw a"))->stepMs, 0);
        QCOMPARE(parseScenario(QStringLiteral("raw a"))->stepMs, 0);
    }

    void rejectsBadInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::newRow("unknown") << "raw a\nbogus" << 2;
        QTest::newRow("no end") << "\nreply\n1,a" << 2;
        QTest::newRow("bad escape") << "raw a\\q" << 1;
        QTest::newRow("short hex") << "raw \\x4" << 1;
        QTest::newRow("escape in block") << "reply\nok\n\\xZZ\nend" << 3;
        QTest::newRow("channel 8") << "channel 8 x" << 1;
        QTest::newRow("times first") << "times 2\nraw a" << 1;
        QTest::newRow("times 0") << "hang\ntimes 0" << 2;
        QTest::newRow("status 99") << "status 99" << 1;
        QTest::newRow("bad size") << "large 5X" << 1;
        QTest::newRow("advance 0") << "advance 0\nhang" << 1;
        QTest::newRow("argument") << "hang now" << 1;
        QTest::newRow("reply arg") << "reply x\nend" << 1;
        QTest::newRow("no steps") << "# nothing\nadvance 1" << 0;
    }
    void rejectsBadInput()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        ParseError err;
        QVERIFY(!parseScenario(text, &err));
        QCOMPARE(err.line, line);
        QVERIFY(!err.message.isEmpty());
    }

    void faultSpecs()
    {
        QCOMPARE(*parseFault(QStringLiteral("hang")), Step::hang());
        QCOMPARE(*parseFault(QStringLiteral("drip:40")), Step::drip(40));
        QCOMPARE(*parseFault(QStringLiteral("404")), Step::httpStatus(404));
        QCOMPARE(*parseFault(QStringLiteral("status:503")), Step::httpStatus(503));
        QCOMPARE(parseFault(QStringLiteral("large:50M"))->size, 50 * 1024 * 1024);
        QCOMPARE(parseFault(QStringLiteral("redirect"))->kind, Step::Kind::RedirectLoop);
        QString why;
        QVERIFY(!parseFault(QStringLiteral("raw:abc"), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!parseFault(QStringLiteral("drip:slow")));
        QVERIFY(!parseFault(QStringLiteral("explode")));
    }
};

QTEST_GUILESS_MAIN(TstScenario)
#include "tst_scenario.moc"
