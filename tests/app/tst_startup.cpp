// Start-up: the server line table, the stored line index, the options, and
// the refusal of a second copy.
#include "files.h"
#include "app/datafolder.h"
#include "app/hostsources.h"
#include "app/options.h"
#include "app/serverlines.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "desktop/autostart.h"
#include "desktop/platform.h"
#include "desktop/sleepwatch.h"
#include "sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QSignalSpy>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace lckb;

class TstStartup : public QObject
{
    Q_OBJECT
private slots:
    void lineIndexFromStoredText_data();
    void lineIndexFromStoredText();
    void serverLineTable();
    void options();
    void hostsWithoutACommandLine();
    void sessionOfAStart();
    void autostartEntry();
    void platformChoice();
    void wakeFromSuspendIsHeard();
    void secondCopyRefusedUntilTheFirstDies();
    void lockCannotBeBlocked();
    void userFilesLiveWhereTheyCanBeWritten();
};

void TstStartup::lineIndexFromStoredText_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("two") << "2" << 2;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("half up to even") << "1.5" << 2;
    QTest::newRow("half down to even") << "2.5" << 2;
    QTest::newRow("0.5") << "0.5" << 0;
    QTest::newRow("rounds") << "2.6" << 3;
    QTest::newRow("leading number") << "3abc" << 3;
    QTest::newRow("leading blanks") << "  1" << 1;
    QTest::newRow("out of range kept") << "7" << 7;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("huge") << "99999999999" << 0;
}

void TstStartup::lineIndexFromStoredText()
{
    QFETCH(QString, stored);
    QFETCH(int, index);
    QCOMPARE(parseLineIndex(stored), index);
    QCOMPARE(validLineIndex(parseLineIndex(stored)), index >= 0 && index <= 3 ? index : 0);
}

void TstStartup::serverLineTable()
{
    const ServerLines d = defaultServerLines();
    QCOMPARE(d[0], QStringLiteral("http://line1.example.com"));
    QCOMPARE(d[3], QStringLiteral("http://line1.example.com:803"));

    // Entry 3 takes entry 0's host, never its port.
    const auto t = makeServerLines({"127.0.0.1:8080", "localhost:9", "[::1]:81"});
    QVERIFY(t);
    QCOMPARE((*t)[0], QStringLiteral("http://127.0.0.1:8080"));
    QCOMPARE((*t)[1], QStringLiteral("http://localhost:9"));
    QCOMPARE((*t)[2], QStringLiteral("http://[::1]:81"));
    QCOMPARE((*t)[3], QStringLiteral("http://127.0.0.1:803"));

    // Anything that is not a plain host would end up inside every address.
    QVERIFY(!makeServerLines({"a", "b"}));
    QVERIFY(!makeServerLines({"http://a", "b", "c"}));
    QVERIFY(!makeServerLines({"a/x", "b", "c"}));
    QVERIFY(!makeServerLines({"a", "b@c", "c"}));
    QVERIFY(!makeServerLines({"a:70000", "b", "c"}));
    QVERIFY(!makeServerLines({"", "b", "c"}));
}

void TstStartup::options()
{
    Options o = parseOptions({"lckb"});
    QVERIFY(o.ok && !o.exitNow);
    QVERIFY(!o.serverLines); // the other sources decide
    QCOMPARE(o.hosts, QString());
    QCOMPARE(o.pollIntervalMs, 30000);
    QVERIFY(!o.startInTray);
    QCOMPARE(o.restAfterMs, 600000);

    o = parseOptions({"lckb", "--hosts", "127.0.0.1:1,127.0.0.1:2,127.0.0.1:3", "--poll-interval", "0.5", "--tray",
                      "--rest-after", "20"});
    QVERIFY(o.ok);
    QCOMPARE((*o.serverLines)[2], QStringLiteral("http://127.0.0.1:3"));
    QCOMPARE(o.hosts, QStringLiteral("127.0.0.1:1,127.0.0.1:2,127.0.0.1:3")); // for an autostart to repeat
    QCOMPARE(o.pollIntervalMs, 500);
    QVERIFY(o.startInTray);
    QCOMPARE(o.restAfterMs, 20000);

    o = parseOptions({"lckb", "--help"});
    QVERIFY(o.exitNow);
    QVERIFY(o.message.contains("--hosts"));
    QVERIFY(o.message.contains("--poll-interval"));
    QVERIFY(o.message.contains("--tray"));
    QVERIFY(o.message.contains("--rest-after"));
    // Where the hosts come from without --hosts, in their order.
    const qsizetype beside = o.message.indexOf("lines.ini beside the program"),
                    user = o.message.indexOf("$XDG_CONFIG_HOME/lckb/lines.ini"),
                    system = o.message.indexOf("/etc/xdg/lckb/lines.ini"), builtIn = o.message.indexOf("built in");
    QVERIFY(beside > 0 && beside < user && user < system && system < builtIn);
    QVERIFY(o.message.contains("line0=host[:port]"));
    o = parseOptions({"lckb", "--version"});
    QVERIFY(o.exitNow);
    QVERIFY(o.message.contains(QStringLiteral(LCKB_VERSION)));

    QVERIFY(!parseOptions({"lckb", "--hosts", "a,b"}).ok);
    QVERIFY(!parseOptions({"lckb", "--poll-interval", "x"}).ok);
    QVERIFY(!parseOptions({"lckb", "--rest-after", "-1"}).ok);
    QVERIFY(!parseOptions({"lckb", "--bogus"}).ok);
    QVERIFY(!parseOptions({"lckb", "stray"}).ok);
    // Qt's -platform is the user's to give; it is left for the application object.
    QVERIFY(parseOptions({"lckb", "-platform", "wayland", "--hosts", "a,b,c"}).ok);
    QVERIFY(parseOptions({"lckb", "--platform", "xcb", "-h"}).exitNow);
}

void TstStartup::hostsWithoutACommandLine()
{
    QTemporaryDir root;
    HostPlaces places;
    places.programDir = root.filePath("prog");
    places.configHome = root.filePath("home");
    places.configDirs = QStringList{root.filePath("etc1"), root.filePath("etc2")};
    const QStringList files = places.files();
    QCOMPARE(files, (QStringList{root.filePath("prog/lines.ini"), root.filePath("home/lckb/lines.ini"),
                                 root.filePath("etc1/lckb/lines.ini"), root.filePath("etc2/lckb/lines.ini")}));
    const auto put = [&](int i, const QByteArray &text) {
        QVERIFY(QDir().mkpath(QFileInfo(files.at(i)).path()));
        QVERIFY(testkit::writeFile(files.at(i), text));
    };

    // No source at all: no hosts, nothing to complain of, and the message
    // names every file in its order.
    HostChoice c = chooseHosts(std::nullopt, places);
    QVERIFY(!c.lines);
    QVERIFY(c.problems.isEmpty());
    const QString message = missingHostsMessage(places);
    QVERIFY(message.contains(QStringLiteral("服务器地址")));
    qsizetype at = 0;
    for (const QString &f : files) {
        QVERIFY2(message.indexOf(f, at) > at, qPrintable(f));
        at = message.indexOf(f, at);
    }

    // The administrator's file, as the profile reader takes it: any case,
    // blanks and CRLF; line 3 is line 0's host on port 803.
    put(3, "; hosts of the service\r\n[Lines]\r\n LINE0 = 10.0.0.1:8080\r\nline1=b.example\r\nline2=[::1]:81\r\n");
    c = chooseHosts(std::nullopt, places);
    QVERIFY(c.lines);
    QCOMPARE(c.source, files.at(3));
    QCOMPARE(*c.lines, *makeServerLines({"10.0.0.1:8080", "b.example", "[::1]:81"}));
    QCOMPARE((*c.lines)[3], QStringLiteral("http://10.0.0.1:803"));

    // A file with one bad entry is ignored whole, named with the key at
    // fault, and the next source answers.
    put(2, "[lines]\nline0=a.example\nline1=evil.example/x\nline2=c.example\n");
    c = chooseHosts(std::nullopt, places);
    QCOMPARE(c.source, files.at(3));
    QCOMPARE(c.problems.size(), 1);
    QVERIFY(c.problems.first().startsWith(files.at(2) + ": [lines] line1=evil.example/x is not host[:port]"));
    // So is port 0, where no request can go, and a NUL in a value, shown
    // so that it does not end the message; a link in a loop is named too.
    put(2, "[lines]\nline0=a.example\nline1=b.example:0\nline2=c.example\n");
    c = chooseHosts(std::nullopt, places);
    QCOMPARE(c.source, files.at(3));
    QVERIFY(c.problems.value(0).startsWith(files.at(2) + ": [lines] line1=b.example:0 is not host[:port]; the file is ignored"));
    put(2, QByteArray("[lines]\nline0=a.example\nline1=b.exa\0mple\x01\nline2=c.example\n", 58));
    c = chooseHosts(std::nullopt, places);
    QVERIFY(c.problems.value(0).startsWith(files.at(2) + ": [lines] line1=b.exa\\x00mple\\x01 is not host[:port]; the file is ignored"));
    QVERIFY(QFile::remove(files.at(2)));
    QVERIFY(QFile::link(files.at(2), files.at(2)));
    c = chooseHosts(std::nullopt, places);
    QCOMPARE(c.source, files.at(3));
    QCOMPARE(c.problems, QStringList{files.at(2) + ": is a loop of symbolic links; the file is ignored (it wants "
                                                   "[lines] line0=, line1=, line2=, each host[:port])"});
    QVERIFY(QFile::remove(files.at(2)));
    put(2, "[lines]\nline0=a.example\nline1=evil.example/x\nline2=c.example\n");

    // The user's own file comes before the system's; one without a key is ignored.
    put(1, "[lines]\nline0=u0\nline1=u1\nline2=u2\n");
    put(0, "[lines]\nline0=p0\nline1=p1\n");
    c = chooseHosts(std::nullopt, places);
    QCOMPARE(c.source, files.at(1));
    QCOMPARE((*c.lines)[2], QStringLiteral("http://u2"));
    QCOMPARE(c.problems.size(), 1);
    QVERIFY(c.problems.first().contains(files.at(0) + ": [lines] line2 is missing"));
    // The file beside the program before both; --hosts before everything.
    put(0, "[lines]\nline0=p0\nline1=p1\nline2=p2:9\n");
    QCOMPARE(chooseHosts(std::nullopt, places).source, files.at(0));
    const auto given = makeServerLines({"g0", "g1", "g2"});
    c = chooseHosts(given, places);
    QCOMPARE(c.source, QStringLiteral("--hosts"));
    QCOMPARE(*c.lines, *given);

    // Not a plain file (a FIFO would hang the start), or too large: ignored
    // with a word; the hosts built in come last.
    for (const QString &f : files)
        QVERIFY(QFile::remove(f));
    QVERIFY(::mkfifo(QFile::encodeName(files.at(0)).constData(), 0600) == 0);
    put(1, "[lines]\nline0=a\nline1=b\nline2=c\n" + QByteArray(1024 * 1024, ';'));
    places.builtIn = QStringLiteral("b0.example,b1.example:81,b2.example");
    c = chooseHosts(std::nullopt, places);
    QCOMPARE(c.source, QStringLiteral("built in"));
    QCOMPARE((*c.lines)[1], QStringLiteral("http://b1.example:81"));
    QCOMPARE(c.problems.size(), 2);
    places.builtIn = QStringLiteral("b0,b1");
    c = chooseHosts(std::nullopt, places);
    QVERIFY(!c.lines);
    QCOMPARE(c.problems.size(), 3);
}

void TstStartup::sessionOfAStart()
{
    // A portable program folder: its own lines.ini, and config.ini with the
    // line chosen last time.
    QTemporaryDir root;
    const QString programDir = root.filePath("prog/");
    QVERIFY(QDir().mkpath(programDir));
    HostPlaces places;
    places.programDir = programDir;
    places.configHome = root.filePath("home");
    QVERIFY(testkit::writeFile(programDir + "lines.ini", "[lines]\nline0=p0\nline1=p1:81\nline2=p2\n"));
    QVERIFY(testkit::writeFile(programDir + "config.ini", "[config]\nxianlu=2\n"));
    const QString autostart = root.filePath("config/autostart/lckb.desktop");
    const QString program = programDir + "lckb";

    const SessionStart fromFile =
        startSession(parseOptions({"lckb", "--poll-interval", "2"}), places, autostart, program);
    const Session &s = fromFile.session;
    QVERIFY(fromFile.hostProblems.isEmpty());
    QVERIFY(fromFile.missingHosts.isEmpty());
    QCOMPARE(s.serverLines, *makeServerLines({"p0", "p1:81", "p2"}));
    QCOMPARE(s.choices.lineIndex(), 2);
    QCOMPARE(s.mainPageUrl(), QStringLiteral("http://p2/nc/i88-61.asp"));
    QCOMPARE(s.intervals.poll, 2000);
    // Everything of the user's beside the program, where it can be written.
    QCOMPARE(s.programDir(), programDir);
    QCOMPARE(s.dataDir(), programDir);
    QCOMPARE(s.profilePath(), programDir + "config.ini");
    QCOMPARE(s.recentFile, programDir + "recent");
    QCOMPARE(s.autostartFile, autostart);
    // The hosts came from the folder: a start by the desktop finds them there again.
    QCOMPARE(s.startCommand, QStringList{program});
    QVERIFY(!QFileInfo::exists(autostart));

    // --hosts comes before the file, and an autostart repeats it as given.
    const SessionStart given =
        startSession(parseOptions({"lckb", "--hosts", "g0,g1,[::1]:9", "--tray", "--rest-after", "20"}), places,
                     autostart, program);
    QCOMPARE(given.session.serverLines, *makeServerLines({"g0", "g1", "[::1]:9"}));
    QCOMPARE(given.session.startCommand, (QStringList{program, "--hosts", "g0,g1,[::1]:9"}));
    QCOMPARE(given.session.intervals.poll, 30000);
    QVERIFY(given.session.startInTray && !s.startInTray);
    QCOMPARE(given.session.intervals.pageDiscard, 20000);
    QVERIFY(given.missingHosts.isEmpty());

    // A file that cannot be used and no other source: the problem for the
    // terminal, the placeholder lines, and the message that says where hosts go.
    QVERIFY(testkit::writeFile(programDir + "lines.ini", "[lines]\nline0=p0\n"));
    const SessionStart none = startSession(parseOptions({"lckb"}), places, autostart, program);
    QCOMPARE(none.hostProblems.size(), 1);
    QVERIFY(none.hostProblems.first().startsWith(programDir + "lines.ini: "));
    QCOMPARE(none.session.serverLines, defaultServerLines());
    QCOMPARE(none.missingHosts, missingHostsMessage(places));
    QVERIFY(none.missingHosts.contains(root.filePath("home/lckb/lines.ini")));
    QCOMPARE(none.session.startCommand, QStringList{program});
}

void TstStartup::autostartEntry()
{
    // A program in a folder whose name needs every kind of quoting, and
    // arguments that do too: the entry must hand each over unchanged.
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("my $HOME \"lckb\" (v6) 'x' `y` a\\b;c & 澜策"));
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/lckb");
    const QString record = root.filePath("args");
    QVERIFY(testkit::writeFile(program, "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done >" + QFile::encodeName(record) + "\n"));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QStringList command{program, "--hosts", "127.0.0.1:1,[::1]:2,a.example:3", "100%", "~", "", "a b\\c"};
    const QString file = root.filePath("config/autostart/lckb.desktop");
    const AutostartEntry entry(file, command);

    // Nothing is there, and nothing is written by asking.
    QVERIFY(!entry.enabled());
    QVERIFY(!QFileInfo::exists(file));

    QVERIFY(entry.enable());
    QVERIFY(entry.enabled());
    QVERIFY(testkit::readFile(file).contains("\nExec=\"/")); // quoted: the path holds blanks
    QProcess validate;
    validate.start("desktop-file-validate", {file});
    QVERIFY2(validate.waitForFinished(10000), "desktop-file-validate missing (scripts/deps installs it)");
    const QByteArray complaints = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
    // Started as a desktop starts it: the same program, the same arguments.
    QProcess launch;
    launch.start("gio", {"launch", file});
    QVERIFY2(launch.waitForFinished(10000), "gio missing (scripts/deps installs it)");
    QCOMPARE(launch.exitCode(), 0);
    QTRY_VERIFY(testkit::readFile(record).endsWith('\n'));
    QCOMPARE(QString::fromUtf8(testkit::readFile(record)).split('\n'), command + QStringList{QString()});

    // Switched off by the desktop's own settings: not on. Removed: gone.
    QVERIFY(testkit::writeFile(file, testkit::readFile(file) + "Hidden = true\n"));
    QVERIFY(!entry.enabled());
    QVERIFY(entry.disable());
    QVERIFY(!QFileInfo::exists(file));
    QVERIFY(!entry.enabled());
    QVERIFY(entry.disable());

    // A line break cannot be carried: nothing is written.
    QString why;
    QVERIFY(!AutostartEntry(file, {program, "a\nb"}).enable(&why));
    QVERIFY(!why.isEmpty());
    QVERIFY(!QFileInfo::exists(file));
    // Nor a program whose folder name is not UTF-8: Qt hands over its
    // name with replacement characters, or nothing.
    const QByteArray raw = QFile::encodeName(root.path()) + "/\xff\xfe";
    QVERIFY(::mkdir(raw.constData(), 0700) == 0);
    QVERIFY(::symlink(QFile::encodeName(program).constData(), (raw + "/lckb").constData()) == 0);
    for (const QString &p : {QFile::decodeName(raw + "/lckb"), QString()}) {
        QVERIFY(!AutostartEntry(file, {p, "--hosts", "a,b,c"}).enable(&why));
        QVERIFY2(why.contains(QStringLiteral("不是有效的 UTF-8")), qPrintable(why));
        QVERIFY(!QFileInfo::exists(file));
    }

    // A folder in the entry's place cannot be replaced: refused, and the new
    // file made for it does not stay behind.
    QVERIFY(QDir().mkpath(file));
    QVERIFY(!entry.enabled());
    QVERIFY(!entry.enable(&why));
    QVERIFY2(why.contains(file), qPrintable(why));
    QCOMPARE(QFileInfo(file).dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"lckb.desktop"});
    QVERIFY(QDir(file).removeRecursively());

    // Never through a link, whatever it points at: an entry that is a link
    // (to nowhere) or a folder that is a link is refused with a word, and
    // nothing changes outside the folder.
    const QString outside = root.filePath("outside");
    QVERIFY(QFile::link(outside + "/lckb.desktop", file));
    QVERIFY(!entry.enable(&why));
    QVERIFY2(why.contains(QStringLiteral("符号链接")) && why.contains(file), qPrintable(why));
    QVERIFY(!QFileInfo::exists(outside));
    QVERIFY(!entry.enabled());
    QVERIFY(entry.disable()); // the link goes as a link
    QVERIFY(!QFileInfo(file).isSymLink());
    const QString autostartDir = QFileInfo(file).path();
    QVERIFY(QDir(autostartDir).removeRecursively());
    QVERIFY(QFile::link(outside, autostartDir)); // pointing nowhere
    QVERIFY(!entry.enable(&why));
    QVERIFY2(why.contains(QStringLiteral("符号链接")), qPrintable(why));
    QVERIFY(!QFileInfo::exists(outside));
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(testkit::writeFile(outside + "/lckb.desktop", "[Desktop Entry]\n"));
    QVERIFY(!entry.enable(&why));
    QVERIFY(!entry.disable(&why));
    QVERIFY2(why.contains(QStringLiteral("符号链接")), qPrintable(why));
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"lckb.desktop"});
    QCOMPARE(testkit::readFile(outside + "/lckb.desktop"), QByteArray("[Desktop Entry]\n"));
}

void TstStartup::platformChoice()
{
    const QString xw = QStringLiteral("xcb;wayland");
    // A Wayland session with XWayland: XWayland, Wayland as the fallback.
    QCOMPARE(platformToRequest({{}, "wayland-0", ":0", "wayland", {"lckb"}}), xw);
    QCOMPARE(platformToRequest({{}, "wayland-0", ":1", {}, {"lckb"}}), xw);
    QCOMPARE(platformToRequest({{}, {}, ":1", "wayland", {"lckb"}}), xw);
    // Qt tries Wayland whenever a compositor answers, whatever the session says.
    QCOMPARE(platformToRequest({{}, "wayland-0", ":0", "x11", {"lckb"}}), xw);
    // Wayland without XWayland, and X11 alone: Qt's own choice.
    QCOMPARE(platformToRequest({{}, "wayland-0", {}, "wayland", {"lckb"}}), QString());
    QCOMPARE(platformToRequest({{}, {}, ":0", "x11", {"lckb"}}), QString());
    QCOMPARE(platformToRequest({{}, {}, {}, {}, {"lckb"}}), QString());
    // The user's choice stands, in the environment or on the command line.
    QCOMPARE(platformToRequest({"wayland", "wayland-0", ":0", "wayland", {"lckb"}}), QString());
    QCOMPARE(platformToRequest({{}, "wayland-0", ":0", "wayland", {"lckb", "-platform", "wayland"}}), QString());
    QCOMPARE(platformToRequest({{}, "wayland-0", ":0", "wayland", {"lckb", "--platform", "wayland"}}), QString());
}

void TstStartup::wakeFromSuspendIsHeard()
{
    testkit::SessionBus bus;
    QVERIFY(bus.ok());
    QDBusConnection ours = QDBusConnection::connectToBus(bus.address(), QStringLiteral("watcher"));
    QDBusConnection logind = QDBusConnection::connectToBus(bus.address(), QStringLiteral("logind"));
    QDBusConnection other = QDBusConnection::connectToBus(bus.address(), QStringLiteral("other"));
    QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    SleepWatch watch(ours);
    QSignalSpy woke(&watch, &SleepWatch::woke);
    const auto send = [](QDBusConnection &c, bool sleeping) {
        QDBusMessage m = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                    QStringLiteral("org.freedesktop.login1.Manager"),
                                                    QStringLiteral("PrepareForSleep"));
        m << sleeping;
        QVERIFY(c.send(m));
    };
    // Going to sleep says nothing; waking does, once.
    send(logind, true);
    send(logind, false);
    QTRY_COMPARE(woke.count(), 1);
    // Only logind is listened to.
    send(other, false);
    send(logind, true);
    QTest::qWait(200);
    QCOMPARE(woke.count(), 1);
    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

void TstStartup::secondCopyRefusedUntilTheFirstDies()
{
    QTemporaryDir dir;
    const QString lockPath = dir.filePath("lckb.lock");
    const QString holder = QCoreApplication::applicationDirPath() + "/lckb-lockholder";

    QProcess first;
    first.start(holder, {lockPath});
    QVERIFY(first.waitForReadyRead(10000));
    QCOMPARE(first.readLine().trimmed(), QByteArray("locked"));

    // In this process and in another one, the lock is refused.
    SingleInstance second(lockPath);
    QVERIFY(!second.tryAcquire());
    QProcess third;
    third.start(holder, {lockPath});
    QVERIFY(third.waitForFinished(10000));
    QCOMPARE(third.exitCode(), 1);

    // Killed without a chance to clean up: the next start is admitted at once.
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished(10000));
    QVERIFY(QFile::exists(lockPath)); // left behind by the killed holder
    SingleInstance fourth(lockPath);
    QVERIFY(fourth.tryAcquire());
}

void TstStartup::lockCannotBeBlocked()
{
    // An empty lock, as a crash between creating and writing it leaves, or
    // one that cannot be read: nobody holds it, so the start goes ahead.
    QTemporaryDir dir;
    for (int fileMode : {0644, 0000}) {
        const QString lockPath = dir.filePath(QStringLiteral("empty-%1.lock").arg(fileMode));
        QVERIFY(testkit::writeFile(lockPath, {}));
        QVERIFY(::chmod(QFile::encodeName(lockPath).constData(), mode_t(fileMode)) == 0);
        SingleInstance first(lockPath);
        QVERIFY(first.tryAcquire());
        // ... and the lock it took keeps the next copy out.
        SingleInstance second(lockPath);
        QVERIFY(!second.tryAcquire());
    }

    // The lock's name comes from the user id, not from $USER, and its folder
    // must be the user's own and closed to others.
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"), savedTmp = qgetenv("TMPDIR"),
                     savedHome = qgetenv("HOME"), savedUser = qgetenv("USER");
    const QString uid = QString::number(::getuid());
    qputenv("USER", "");
    QCOMPARE(QFileInfo(SingleInstance::defaultLockPath()).fileName(), "lckb-" + uid + ".lock");
    if (!savedRuntime.isEmpty()) // as the tests run it: a private runtime folder
        QCOMPARE(QFileInfo(SingleInstance::defaultLockPath()).path(), QString::fromLocal8Bit(savedRuntime));

    QTemporaryDir tmp, home;
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString shared = tmp.filePath("lckb-" + uid);
    QCOMPARE(QFileInfo(SingleInstance::defaultLockPath()).path(), shared);
    struct stat st = {};
    QVERIFY(::lstat(QFile::encodeName(shared).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 07777), 0700);
    // Opened to others (as another user's folder made for us would be): refused.
    QVERIFY(::chmod(QFile::encodeName(shared).constData(), 0777) == 0);
    const QString refusedTo = QFileInfo(SingleInstance::defaultLockPath()).path();
    QVERIFY(!refusedTo.startsWith(shared));
    QVERIFY(refusedTo.startsWith(home.path()));
    QVERIFY(::lstat(QFile::encodeName(refusedTo).constData(), &st) == 0);
    QVERIFY(S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700);
    // A link in its place is no private folder either.
    QVERIFY(QDir(shared).removeRecursively());
    QVERIFY(QFile::link(home.path(), shared));
    QVERIFY(!QFileInfo(SingleInstance::defaultLockPath()).path().startsWith(shared));

    const auto restore = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("XDG_RUNTIME_DIR", savedRuntime);
    restore("TMPDIR", savedTmp);
    restore("HOME", savedHome);
    restore("USER", savedUser);
}

void TstStartup::userFilesLiveWhereTheyCanBeWritten()
{
    QTemporaryDir program, home;
    const QString programDir = program.path() + '/';
    // A folder the user may write: the portable folder, as always.
    QCOMPARE(dataFolder(programDir, true, home.filePath("config")), programDir);
    QVERIFY(!QFile::exists(home.filePath("config")));
    // A folder the user may not write: the user's own, made private.
    const QString own = dataFolder(programDir, false, home.filePath("config"));
    QCOMPARE(own, home.filePath("config/lckb/"));
    struct stat st = {};
    QVERIFY(::stat(QFile::encodeName(own).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 07777), 0700);
    QCOMPARE(dataFolder(programDir, false, home.filePath("config")), own); // again: the same, untouched

    // This process: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME"), savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", "relative/path");
    QVERIFY(::chmod(QFile::encodeName(program.path()).constData(), 0500) == 0);
    const bool rootWritesAnyway = ::geteuid() == 0;
    QCOMPARE(dataFolder(programDir), rootWritesAnyway ? programDir : home.filePath(".config/lckb/"));
    QVERIFY(::chmod(QFile::encodeName(program.path()).constData(), 0700) == 0);
    QCOMPARE(dataFolder(programDir), programDir);
    // Every other user file follows the same base-folder rules: relative
    // values count as unset, and so do relative entries of $XDG_CONFIG_DIRS.
    const QByteArray savedDirs = qgetenv("XDG_CONFIG_DIRS"), savedState = qgetenv("XDG_STATE_HOME");
    QCOMPARE(AutostartEntry::defaultFile(), home.filePath(".config/autostart/lckb.desktop"));
    qputenv("XDG_CONFIG_DIRS", "relative:/opt/site::etc");
    QCOMPARE(HostPlaces::fromEnvironment(programDir).configDirs, QStringList{"/opt/site"});
    qputenv("XDG_CONFIG_DIRS", "relative");
    QCOMPARE(HostPlaces::fromEnvironment(programDir).configDirs, QStringList{"/etc/xdg"});
    qputenv("XDG_STATE_HOME", "");
    QCOMPARE(recentFile(programDir, own), home.filePath(".local/state/lckb/recent"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath("state")));
    QCOMPARE(recentFile(programDir, own), home.filePath("state/lckb/recent"));
    for (auto [name, value] : {std::pair{"XDG_CONFIG_HOME", savedConfig}, {"XDG_CONFIG_DIRS", savedDirs},
                               {"XDG_STATE_HOME", savedState}, {"HOME", savedHome}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
