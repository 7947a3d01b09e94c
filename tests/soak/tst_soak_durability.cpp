// config.ini when the program dies while writing it: a child process writes
// keys in a loop and is killed (SIGKILL) at random moments, over and over.
// After every kill the file must read back whole: every key present with its
// old or its new value, no torn line, no stray bytes, still owner-only.
//
// A kill ends the process but leaves the kernel's page cache alone, so this
// covers crashes and kills, not power loss.
#include "inikeys.h"
#include "app/settings.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace lckb;

class TstSoakDurability : public QObject
{
    Q_OBJECT
private slots:
    void killedWhileWriting();
};

void TstSoakDurability::killedWhileWriting()
{
    constexpr int kKills = 200;
    const QString writer = QCoreApplication::applicationDirPath() + "/lckb-soak-iniwriter";
    QVERIFY2(QFileInfo(writer).isExecutable(), qPrintable(writer));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString ini = dir.filePath("config.ini");
    const QList<soak::IniKey> keys = soak::durabilityKeys();
    for (const soak::IniKey &k : keys)
        QVERIFY(writeProfile(k.section, k.key, k.a, ini));
    QFile first(ini);
    QVERIFY(first.open(QIODevice::ReadOnly));
    const QByteArray initial = first.readAll();
    first.close();

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator rng(seed);
    QList<QSet<QString>> seen(keys.size());
    qint64 writes = 0;
    int changedByRun = 0;
    QByteArray before = initial;

    for (int run = 0; run < kKills; ++run) {
        QProcess child;
        child.start(writer, {ini});
        QVERIFY(child.waitForStarted(10000));
        // Once the first write is through the child is in its loop; the kill
        // comes a random moment later: mostly within a few writes, now and
        // then much later.
        QByteArray out;
        while (out.size() < 7 && child.waitForReadyRead(10000))
            out += child.readAllStandardOutput();
        QVERIFY2(out.startsWith("ready\n."), out.constData());
        QThread::usleep(rng.bounded(run % 10 == 0 ? 100000u : 8000u));
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        writes += (out + child.readAllStandardOutput()).count('.');

        QFile f(ini);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(QStringLiteral("run %1: config.ini is gone").arg(run)));
        const QByteArray bytes = f.readAll();
        f.close();
        changedByRun += bytes != before;
        before = bytes;

        // Every key has one of its two values, and the file is exactly what
        // writing those values into the first file gives: nothing torn,
        // nothing left over from a half-written replacement.
        const ProfileDocument doc(bytes);
        ProfileDocument expected(initial);
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const soak::IniKey &k = keys.at(i);
            bool found = false;
            const QString v = doc.value(k.section, k.key, &found);
            QVERIFY2(found, qPrintable(QStringLiteral("run %1: %2/%3 missing").arg(run).arg(k.section, k.key)));
            QVERIFY2(v == k.a || v == k.b, qPrintable(QStringLiteral("run %1: %2/%3 = %4").arg(run).arg(k.section, k.key, v.left(40))));
            QCOMPARE(readProfile(k.section, k.key, ini), v);
            seen[i].insert(v);
            expected.setValue(k.section, k.key, v);
        }
        QCOMPARE(bytes, expected.bytes());
        // It may hold the login password: a replacement must not widen access.
        QCOMPARE(QFile::permissions(ini) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // The kills did land among the writes: every key was seen with both of
    // its values.
    for (qsizetype i = 0; i < keys.size(); ++i)
        QVERIFY2(seen.at(i).size() == 2, qPrintable(keys.at(i).key));

    // A temporary file of an interrupted replacement may remain; it must
    // never take the settings file's name, and reads never look at it.
    const QStringList others = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QStringList leftovers;
    for (const QString &n : others)
        if (n != "config.ini")
            leftovers << n;
    for (const QString &n : std::as_const(leftovers))
        QVERIFY2(n.startsWith("config.ini."), qPrintable(n));
    qInfo("%d kills, %lld finished writes, %d runs changed the file, %lld temporary files left",
          kKills, writes, changedByRun, qint64(leftovers.size()));
}

QTEST_GUILESS_MAIN(TstSoakDurability)
#include "tst_soak_durability.moc"
