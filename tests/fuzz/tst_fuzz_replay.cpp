// The fuzz targets run over their seed corpora and over every input that once
// made them fail, built by the normal compiler, so the normal test run guards
// what the fuzzers found.
#include "fuzzcheck.h"
#include "app/gbk.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

using Target = void (*)(const unsigned char *, size_t);

// One row per file in corpus/<name>/ and regressions/<name>/.
void addInputs(const char *name)
{
    QTest::addColumn<QString>("path");
    int seeds = 0;
    for (const char *folder : {"corpus", "regressions"}) {
        const QDir dir(QStringLiteral(LCKB_FUZZ_DIR "/%1/%2").arg(QLatin1String(folder), QLatin1String(name)));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &f : files)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(folder), f))) << dir.filePath(f);
        if (folder == QLatin1String("corpus"))
            seeds = int(files.size());
    }
    // An empty corpus would let every row pass by there being none.
    if (seeds == 0)
        QTest::newRow("missing corpus") << QString();
}

void replay(Target target)
{
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable("cannot read " + path));
    const QByteArray input = f.readAll();
    try {
        target(reinterpret_cast<const unsigned char *>(input.constData()), size_t(input.size()));
    } catch (const std::exception &e) {
        QFAIL(e.what());
    }
}

} // namespace

class TstFuzzReplay : public QObject
{
    Q_OBJECT
private slots:
    void reply_data() { addInputs("reply"); }
    void reply() { replay(lckb::fuzz::replyTarget); }
    void settings_data() { addInputs("settings"); }
    void settings() { replay(lckb::fuzz::settingsTarget); }
    void everyCharacterAndCodeRoundTrips();
};

// The settings file and the replies share the codec, which wrote some
// characters so that they came back changed: U+F8F5, and those GB18030 puts
// at two-byte codes where code page 936 has private-use ones. Every character
// of the Basic Multilingual Plane is tried (the other planes all take the
// same four-byte path, so a sample of them), every code up to two bytes and
// the four-byte codes of the Basic Multilingual Plane.
void TstFuzzReplay::everyCharacterAndCodeRoundTrips()
{
    using namespace lckb;
    QStringList lost;
    for (char32_t c = 1; c <= 0x10FFFF && lost.size() < 10; c += c < 0x10000 ? 1 : 251) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const QString s = QString::fromUcs4(&c, 1);
        if (decodeGbk(encodeGbk(s)) != s)
            lost << QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    QVERIFY2(lost.isEmpty(), qPrintable("written and read back changed: " + lost.join(u' ')));

    QList<QByteArray> codes;
    for (int a = 0; a < 0x100; ++a) {
        codes << QByteArray(1, char(a));
        if (a < 0x81 || a > 0xFE)
            continue;
        for (int b = 0x40; b < 0x100; ++b)
            codes << QByteArray(1, char(a)) + char(b);
        if (a > 0x84)
            continue;
        for (int b = 0x30; b <= 0x39; ++b)
            for (int c = 0x81; c <= 0xFE; ++c)
                for (int d = 0x30; d <= 0x39; ++d)
                    codes << QByteArray(1, char(a)) + char(b) + char(c) + char(d);
    }
    for (const QByteArray &code : std::as_const(codes)) {
        const QString s = decodeGbk(code);
        if (decodeGbk(encodeGbk(s)) != s && lost.size() < 10)
            lost << QString::fromLatin1(code.toHex());
    }
    QVERIFY2(lost.isEmpty(), qPrintable("read, written and read again changed: " + lost.join(u' ')));
}

QTEST_GUILESS_MAIN(TstFuzzReplay)
#include "tst_fuzz_replay.moc"
