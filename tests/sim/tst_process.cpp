// lckb-sim as scripts use it: random ports announced on stdout, a scenario
// file, the request log, a clean end on SIGTERM.
#include "fetch.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TstProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsAsProcess()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile sc(dir.filePath(QStringLiteral("s.txt")));
        QVERIFY(sc.open(QIODevice::WriteOnly));
        sc.write("# two steps\nraw first\nraw \\xc4\\xe3second\n");
        sc.close();
        const QString logPath = dir.filePath(QStringLiteral("log.txt"));

        QProcess sim;
        sim.start(QStringLiteral(LCKB_SIM_EXE),
                  {"--port", "0", "--port", "0", "--interval", "0", "--scenario", sc.fileName(), "--log", logPath});
        QVERIFY(sim.waitForStarted(5000));
        QStringList bases;
        while (bases.size() < 2 && sim.waitForReadyRead(5000)) {
            while (sim.canReadLine()) {
                const QString line = QString::fromUtf8(sim.readLine()).trimmed();
                QVERIFY2(line.startsWith(QStringLiteral("listening http://127.0.0.1:")), qPrintable(line));
                bases << line.section(u' ', 1);
            }
        }
        QCOMPARE(bases.size(), 2);

        QNetworkAccessManager nam;
        QCOMPARE(fetch(nam, bases.at(0) + QStringLiteral("/nc/tx.asp?s=1")).body, QByteArray("first"));
        QCOMPARE(fetch(nam, bases.at(1) + QStringLiteral("/nc/tx.asp?s=2")).body, QByteArray("\xc4\xe3second"));
        QCOMPARE(fetch(nam, bases.at(1) + QStringLiteral("/nc/tx.asp?s=3")).body, QByteArray("\xc4\xe3second"));

        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).endsWith("\tGET\t/nc/tx.asp?s=1"));
        QVERIFY(lines.at(2).contains(bases.at(1).section(u':', 2).toLatin1() + "\tGET\t/nc/tx.asp?s=3"));

        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }

    void rejectsBadOptions()
    {
        for (const QStringList &args : {QStringList{"--frames", "7"}, QStringList{"--fault", "explode"},
                                        QStringList{"--scenario", "/nonexistent/s.txt"}}) {
            QProcess sim;
            sim.start(QStringLiteral(LCKB_SIM_EXE), args);
            QVERIFY(sim.waitForFinished(5000));
            QCOMPARE(sim.exitCode(), 2);
            QVERIFY(sim.readAllStandardOutput().isEmpty());
            QVERIFY(sim.readAllStandardError().startsWith("lckb-sim: "));
        }
    }
};

QTEST_GUILESS_MAIN(TstProcess)
#include "tst_process.moc"
