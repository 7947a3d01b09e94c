// The settings file: what users and the stored config.ini rely on.
#include "app/gbk.h"
#include "files.h"
#include "app/settings.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace lckb;

using testkit::readFile;
using testkit::writeFile;

class TstSettings : public QObject
{
    Q_OBJECT
private slots:
    void chineseRoundTripIsGbkWithCrLf();
    void absentFileAndFirstWrite();
    void valueCutAt1024BytesWithoutSplittingCharacters();
    void lookupRules();
    void writeKeepsEveryOtherByte();
    void writeQuotesWhatWouldNotSurvive();
    void failedWritesLeaveTheOldFile();
    void fileStaysSmallPrivateAndWhole();
    void appDirHasOneTrailingSeparator();
    void gbkCodec();
};

void TstSettings::chineseRoundTripIsGbkWithCrLf()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    QVERIFY(writeProfile("mima", "user", QStringLiteral("张三"), ini));
    QVERIFY(writeProfile("mima", "pass", QStringLiteral("密码 1"), ini));
    QCOMPARE(readProfile("mima", "user", ini), QStringLiteral("张三"));
    QCOMPARE(readProfile("mima", "pass", ini), QStringLiteral("密码 1"));
    // 张 = D5C5, 三 = C8FD in code page 936.
    QCOMPARE(readFile(ini), QByteArray("[mima]\r\nuser=\xD5\xC5\xC8\xFD\r\npass=\xC3\xDC\xC2\xEB 1\r\n"));
    // Owner only: the file may hold the password.
    const QFileDevice::Permissions perms = QFile::permissions(ini);
    QVERIFY(perms.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(!(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther)));
    // Characters outside code page 936 survive too.
    QVERIFY(writeProfile("mima", "pass", QStringLiteral("p😀ß€"), ini));
    QCOMPARE(readProfile("mima", "pass", ini), QStringLiteral("p😀ß€"));
}

void TstSettings::absentFileAndFirstWrite()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    QCOMPARE(readProfile("config", "xianlu", ini), QString());
    QVERIFY(!QFile::exists(ini));
    QVERIFY(writeProfile("config", "Check1", "1", ini));
    QCOMPARE(readFile(ini), QByteArray("[config]\r\nCheck1=1\r\n"));
    QCOMPARE(readProfile("config", "Check1", ini), QStringLiteral("1"));
    QCOMPARE(readProfile("config", "Check2", ini), QString());
    QCOMPARE(readProfile("mima", "Check1", ini), QString());
    // An empty value reads like an absent key.
    QVERIFY(writeProfile("mima", "user", "", ini));
    QCOMPARE(readProfile("mima", "user", ini), QString());
    QVERIFY(readFile(ini).endsWith("[mima]\r\nuser=\r\n"));
    // A folder in place of the file reads as empty and cannot be written.
    QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
    QCOMPARE(readProfile("config", "Check1", dir.filePath("folder.ini")), QString());
    QVERIFY(!writeProfile("config", "Check1", "1", dir.filePath("folder.ini")));
}

void TstSettings::valueCutAt1024BytesWithoutSplittingCharacters()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    const QString ascii(1500, u'x');
    QVERIFY(writeProfile("mima", "user", ascii, ini));
    QCOMPARE(readProfile("mima", "user", ini), ascii.left(1024));
    // One ASCII byte then two-byte characters: byte 1024 would be the first
    // half of a character, so the read stops before it.
    const QString mixed = u'a' + QString(800, QChar(0x4E2D));
    QVERIFY(writeProfile("mima", "user", mixed, ini));
    const QString got = readProfile("mima", "user", ini);
    QCOMPARE(got, mixed.left(1 + 511));
    QVERIFY(!got.contains(QChar(QChar::ReplacementCharacter)));
}

void TstSettings::lookupRules()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    QVERIFY(writeFile(ini, "; a comment\n"
                  "[ CONFIG ]\n"
                  "  XianLu =  2  \n"
                  "quoted = \" spaced \"\n"
                  "single='x'\n"
                  "odd=\"x'\n"
                  "Check1=0\n"
                  "check1=1\n"
                  "[config]\n"
                  "later=1\n"
                  "[mima]\r\n"
                  "user=\xD5\xC5\xC8\xFD\r\n"));
    QCOMPARE(readProfile("config", "xianlu", ini), QStringLiteral("2"));
    QCOMPARE(readProfile("Config", " XIANLU ", ini), QStringLiteral("2"));
    QCOMPARE(readProfile("config", "quoted", ini), QStringLiteral(" spaced "));
    QCOMPARE(readProfile("config", "single", ini), QStringLiteral("x"));
    QCOMPARE(readProfile("config", "odd", ini), QStringLiteral("\"x'"));
    QCOMPARE(readProfile("config", "Check1", ini), QStringLiteral("0")); // first key wins
    QCOMPARE(readProfile("config", "later", ini), QString());            // first section wins
    QCOMPARE(readProfile("mima", "user", ini), QStringLiteral("张三"));
    QCOMPARE(readProfile("; a comment", "x", ini), QString());
}

void TstSettings::writeKeepsEveryOtherByte()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    // LF line ends, a comment, blank lines, odd spacing, a key spelt in
    // another case: all of it stays as it was.
    const QByteArray before = "; keep me\n"
                              "[config]\n"
                              "  XIANLU = 1\n"
                              "Check1=1\n"
                              "\n"
                              "[mima]\n"
                              "mima=0\n"
                              "\n"
                              "\n";
    QVERIFY(writeFile(ini, before));
    QVERIFY(writeProfile("config", "xianlu", "3", ini));
    QByteArray expected = before;
    expected.replace("  XIANLU = 1\n", "  XIANLU =3\n");
    QCOMPARE(readFile(ini), expected);

    // A new key goes after the section's last line, before the blank line.
    QVERIFY(writeProfile("config", "shengyin", "0", ini));
    expected.replace("Check1=1\n", "Check1=1\nshengyin=0\r\n");
    QCOMPARE(readFile(ini), expected);

    // A new key at the end of a section that ends the file without a line end.
    QVERIFY(writeFile(ini, "[mima]\nmima=1"));
    QVERIFY(writeProfile("mima", "user", "u", ini));
    QCOMPARE(readFile(ini), QByteArray("[mima]\nmima=1\r\nuser=u\r\n"));

    // A new section goes at the end.
    QVERIFY(writeFile(ini, "[mima]\nmima=1"));
    QVERIFY(writeProfile("config", "Check1", "0", ini));
    QCOMPARE(readFile(ini), QByteArray("[mima]\nmima=1\r\n[config]\r\nCheck1=0\r\n"));
    QCOMPARE(readProfile("mima", "mima", ini), QStringLiteral("1"));

    // A two-byte character whose second byte is ']' (0x5D) does not end a
    // section name early.
    QVERIFY(writeFile(ini, "[\xB0\x5D]\r\nk=1\r\n"));
    QVERIFY(writeProfile(decodeGbk("\xB0\x5D"), "k", "2", ini));
    QCOMPARE(readFile(ini), QByteArray("[\xB0\x5D]\r\nk=2\r\n"));
}

void TstSettings::writeQuotesWhatWouldNotSurvive()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    for (const QString &v : {QStringLiteral(" lead"), QStringLiteral("trail\t"), QStringLiteral("\"q\""),
                             QStringLiteral("''"), QStringLiteral("\""), QStringLiteral("a=b;c[d]")}) {
        QVERIFY(writeProfile("mima", "pass", v, ini));
        QCOMPARE(readProfile("mima", "pass", ini), v);
    }
    // A line break would let the rest of the value pose as further keys.
    QVERIFY(!writeProfile("mima", "pass", "x\r\n[config]\r\nxianlu=3", ini));
    QCOMPARE(readProfile("mima", "pass", ini), QStringLiteral("a=b;c[d]"));
    QCOMPARE(readProfile("config", "xianlu", ini), QString());
}

void TstSettings::failedWritesLeaveTheOldFile()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    QVERIFY(writeProfile("config", "Check1", "1", ini));
    const QByteArray before = readFile(ini);

    // A read-only file.
    QVERIFY(QFile::setPermissions(ini, QFileDevice::ReadOwner));
    QVERIFY(!writeProfile("config", "Check1", "0", ini));
    QVERIFY(!writeProfile("mima", "user", "x", ini));
    QCOMPARE(readFile(ini), before);
    QVERIFY(QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    // A folder that does not exist.
    QVERIFY(!writeProfile("config", "Check1", "0", dir.filePath("gone/config.ini")));

    // A read-only folder (root may write into one anyway).
    if (::geteuid() == 0)
        return;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0500) == 0);
    QVERIFY(!writeProfile("config", "Check1", "0", ini));
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0700) == 0);
    QCOMPARE(readFile(ini), before);
}

void TstSettings::fileStaysSmallPrivateAndWhole()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("config.ini");
    const auto mode = [&](const QString &path) {
        struct stat st = {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };

    // A file the user made readable to others is closed once it holds a password.
    QVERIFY(writeFile(ini, "[config]\r\nxianlu=1\r\n"));
    QVERIFY(::chmod(QFile::encodeName(ini).constData(), 0644) == 0);
    QVERIFY(writeProfile("config", "Check1", "0", ini));
    QCOMPARE(mode(ini), 0644); // no password in it: its mode is the user's choice
    QVERIFY(writeProfile("mima", "pass", "secret", ini));
    QCOMPARE(mode(ini), 0600);
    QVERIFY(::chmod(QFile::encodeName(ini).constData(), 0640) == 0);
    QVERIFY(writeProfile("mima", "user", "u", ini));
    QCOMPARE(mode(ini), 0600);

    // A symbolic link is written through to its target, owner and group kept.
    QVERIFY(QDir(dir.path()).mkdir("elsewhere"));
    const QString target = dir.filePath("elsewhere/lckb.ini");
    QVERIFY(QFile::rename(ini, target));
    QVERIFY(QFile::link(target, ini));
    if (::geteuid() == 0)
        QVERIFY(::chown(QFile::encodeName(target).constData(), 4242, 4343) == 0);
    QVERIFY(writeProfile("config", "xianlu", "2", ini));
    QVERIFY(QFileInfo(ini).isSymLink());
    QCOMPARE(readProfile("config", "xianlu", target), QStringLiteral("2"));
    struct stat st = {};
    QVERIFY(::stat(QFile::encodeName(target).constData(), &st) == 0);
    if (::geteuid() == 0)
        QVERIFY(st.st_uid == 4242 && st.st_gid == 4343);
    QCOMPARE(mode(target), 0600);

    // A value changed by hand is seen at the next read, even at the same size.
    QVERIFY(writeFile(target, "[config]\r\nxianlu=3\r\n"));
    QCOMPARE(readProfile("config", "xianlu", ini), QStringLiteral("3"));

    // A file over 1 MiB reads as absent and is never rewritten.
    const QByteArray big = "[config]\r\nxianlu=2\r\n" + QByteArray(kProfileFileLimit, ';');
    QVERIFY(writeFile(target, big));
    QVERIFY(!profileFileUsable(ini));
    QCOMPARE(readProfile("config", "xianlu", ini), QString());
    QVERIFY(!writeProfile("config", "xianlu", "1", ini));
    QCOMPARE(readFile(target), big);
    // Nor does a write make a file grow past the limit.
    QVERIFY(writeFile(target, "[config]\r\n"));
    QVERIFY(!writeProfile("mima", "pass", QString(kProfileFileLimit, u'x'), ini));
    QCOMPARE(readFile(target), QByteArray("[config]\r\n"));
}

void TstSettings::appDirHasOneTrailingSeparator()
{
    const QString d = programFolder();
    QVERIFY(d.endsWith(QDir::separator()));
    QVERIFY(!d.endsWith(QString(QDir::separator()) + QDir::separator()));
    QCOMPARE(QDir(d).canonicalPath(), QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    QCOMPARE(profilePathIn("/opt/lckb"), QStringLiteral("/opt/lckb/config.ini"));
    QCOMPARE(profilePathIn("/opt/lckb/"), QStringLiteral("/opt/lckb/config.ini"));
}

void TstSettings::gbkCodec()
{
    // 0x80 is the euro sign in code page 936; a bad byte and a lead byte cut
    // off at the end become U+FFFD without swallowing what follows.
    QCOMPARE(decodeGbk("\x80" "a\xFF" "b\xD6\xD0\xD6"), QStringLiteral("€a\uFFFDb中\uFFFD"));
    QCOMPARE(decodeGbk("\xD6" "1"), QStringLiteral("\uFFFD" "1"));
    QCOMPARE(encodeGbk(QStringLiteral("€中a")), QByteArray("\x80\xD6\xD0" "a"));
    const QString rare = QStringLiteral("x😀\u0080y");
    QCOMPARE(decodeGbk(encodeGbk(rare)), rare);
    QCOMPARE(gbkPrefixLength("a\xD6\xD0", 2), qsizetype(1));
    QCOMPARE(gbkPrefixLength("a\xD6\xD0", 3), qsizetype(3));

    // Every character of the Basic Multilingual Plane through the settings
    // file and back, in the bytes files have held so far, whatever edition
    // of GB18030 the system's ICU follows (the 2022 one moved U+9FB4..9FBB
    // and U+FE10..FE19 to other codes).
    QCOMPARE(encodeGbk(QStringLiteral("\u9FB4\uFE10\uFE19")),
             QByteArray("\x82\x35\x90\x37\x84\x31\x82\x36\x84\x31\x83\x35"));
    ProfileDocument doc;
    QStringList written;
    for (char32_t c = 1; c < 0x10000; c += 256) {
        QString value = QStringLiteral("x");
        for (char32_t d = c; d < c + 256 && d < 0x10000; ++d)
            if ((d < 0xD800 || d > 0xDFFF) && d != '\r' && d != '\n')
                value += QChar(char16_t(d));
        doc.setValue(QStringLiteral("bmp"), QString::number(c), value + u'x');
        written << value + u'x';
    }
    const ProfileDocument reread(doc.bytes());
    for (char32_t c = 1, i = 0; c < 0x10000; c += 256, ++i)
        QCOMPARE(reread.value(QStringLiteral("bmp"), QString::number(c)), written.at(i));
    QCOMPARE(QCryptographicHash::hash(doc.bytes(), QCryptographicHash::Sha256).toHex(),
             QByteArray("995933b3d1612feb80af59d4debf0b11f5b005749adb5331e806dbf7c239684a"));
}

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
