// The start-up clean-up of the "dat" folder stays inside that folder.
#include "reminder/scratchfolder.h"
#include "files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace lckb;
using testkit::writeFile;

class TstReminderScratch : public QObject
{
    Q_OBJECT
private slots:
    void onlyPlainFilesInsideGo();
};

void TstReminderScratch::onlyPlainFilesInsideGo()
{
    QTemporaryDir program, outside;
    const QString dat = program.filePath("dat");
    QVERIFY(QDir().mkpath(dat + "/sub"));
    QVERIFY(writeFile(dat + "/a.txt", "a"));
    QVERIFY(writeFile(dat + "/.hidden", "h"));
    QVERIFY(writeFile(dat + "/sub/kept.txt", "k"));
    QVERIFY(writeFile(outside.filePath("victim.txt"), "v"));
    QVERIFY(QFile::link(outside.filePath("victim.txt"), dat + "/link-to-file"));
    QVERIFY(QFile::link(outside.path(), dat + "/link-to-folder"));
    QVERIFY(::mkfifo(QFile::encodeName(dat + "/fifo").constData(), 0600) == 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(dat + "/sock");
    QVERIFY(size_t(sockPath.size()) < sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sockPath.constData(), size_t(sockPath.size()));
    QVERIFY(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);

    QCOMPARE(clearScratchFolder(program.path()), 4); // a.txt, .hidden and the two links
    QCOMPARE(QDir(dat).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList({"fifo", "sock", "sub"}));
    QVERIFY(QFile::exists(dat + "/sub/kept.txt"));
    QVERIFY(QFile::exists(outside.filePath("victim.txt"))); // links went as links
    ::close(sock);

    // "dat" itself a link to another folder: that folder is not ours to empty.
    QTemporaryDir program2;
    QVERIFY(QFile::link(outside.path(), program2.filePath("dat")));
    QCOMPARE(clearScratchFolder(program2.path()), 0);
    QVERIFY(QFile::exists(outside.filePath("victim.txt")));
    // A program folder reached through a link is still the program's own.
    QVERIFY(QFile::link(program.path(), outside.filePath("program-link")));
    QVERIFY(writeFile(dat + "/b.txt", "b"));
    QCOMPARE(clearScratchFolder(outside.filePath("program-link")), 1);
    QVERIFY(!QFile::exists(dat + "/b.txt"));
    // No folder at all: nothing to do, nothing said.
    QTemporaryDir empty;
    QCOMPARE(clearScratchFolder(empty.path()), 0);
}

QTEST_GUILESS_MAIN(TstReminderScratch)
#include "tst_reminder_scratch.moc"
