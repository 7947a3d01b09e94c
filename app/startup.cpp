#include "app/startup.h"

#include "app/keys.h"
#include "app/settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lckb {

std::optional<ServerLines> makeServerLines(const QStringList &hosts)
{
    if (hosts.size() != 3)
        return std::nullopt;
    static const QRegularExpression hostPort(
        QStringLiteral("^([A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?|\\[[0-9A-Fa-f:.]+\\])(?::([0-9]{1,5}))?$"));
    ServerLines t;
    QString host0;
    for (int i = 0; i < 3; ++i) {
        const QString h = hosts.at(i).trimmed();
        const auto m = hostPort.match(h);
        if (!m.hasMatch())
            return std::nullopt;
        if (!m.captured(2).isEmpty() && m.captured(2).toInt() > 65535)
            return std::nullopt;
        t[size_t(i)] = QStringLiteral("http://") + h;
        if (i == 0)
            host0 = m.captured(1);
    }
    t[3] = QStringLiteral("http://") + host0 + QStringLiteral(":803");
    return t;
}

ServerLines defaultServerLines()
{
    return *makeServerLines({QString::fromLatin1(kDefaultHosts[0]), QString::fromLatin1(kDefaultHosts[1]),
                             QString::fromLatin1(kDefaultHosts[2])});
}

int parseLineIndex(const QString &stored)
{
    // Leading blanks and an optional sign, then digits with an optional
    // fraction, as a number conversion of the text would take them.
    static const QRegularExpression lead(QStringLiteral("^[ \\t]*([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+))"));
    const auto m = lead.match(stored);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 32767.5)
        return 0; // beyond any line; validLineIndex would send it to line 0 anyway
    return int(std::nearbyint(v)); // the default rounding mode sends halves to even
}

int validLineIndex(int index)
{
    return (index >= 0 && index <= 3) ? index : 0;
}

int storedLineIndex(const QString &profilePath)
{
    return validLineIndex(parseLineIndex(readProfile(keys::config, keys::lineIndex, profilePath)));
}

SingleInstance::SingleInstance(const QString &lockPath)
    : m_path(lockPath)
    , m_lock(std::make_unique<QLockFile>(lockPath))
{
}

namespace {

// A lock that names no holder (left empty by a crash between creating and
// writing it, or unreadable) is abandoned when nobody holds the file: a live
// holder keeps an exclusive lock on it for as long as it runs.
bool removeIfAbandoned(const QLockFile &lock, const QString &path)
{
    qint64 pid = 0;
    QString host, app;
    if (lock.getLockInfo(&pid, &host, &app))
        return false; // it names its holder; QLockFile has judged that one
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES && ::unlink(p.constData()) == 0;
    const bool removed = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(p.constData()) == 0;
    ::close(fd);
    return removed;
}

// A folder that only this user can write into. Anywhere else another user
// could create the lock first and keep every start out.
bool privateFolder(const QString &dir)
{
    struct stat st = {};
    return !dir.isEmpty() && ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700;
}

QString lockFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (privateFolder(runtime))
        return runtime;
    const QString uid = QString::number(::getuid());
    const QString shared = QDir::tempPath() + QStringLiteral("/lckb-") + uid;
    ::mkdir(QFile::encodeName(shared).constData(), 0700); // fails harmlessly when it exists
    if (privateFolder(shared))
        return shared;
    // The shared folder is someone else's or open to others: the user's own.
    const QString own = QDir::homePath() + QStringLiteral("/.cache/lckb");
    QDir().mkpath(QFileInfo(own).path());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return own;
}

} // namespace

QString dataFolder(const QString &programDir, bool programDirWritable, const QString &configHome)
{
    if (programDirWritable)
        return programDir;
    QDir().mkpath(configHome);
    const QString own = QDir(configHome).filePath(QStringLiteral("lckb"));
    // Made owner-only from the start: the file it will hold keeps a password.
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return own + u'/';
}

QString dataFolder(const QString &programDir)
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome)) // unset, empty or relative: the default
        configHome = QDir::homePath() + QStringLiteral("/.config");
    const bool writable = ::access(QFile::encodeName(programDir).constData(), W_OK) == 0;
    return dataFolder(programDir, writable, configHome);
}

bool SingleInstance::tryAcquire()
{
    // A lock whose owner process is gone is removed by QLockFile at once;
    // a live owner holds it however old it is.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() != QLockFile::LockFailedError || !removeIfAbandoned(*m_lock, m_path))
        return false;
    return m_lock->tryLock(0);
}

QString SingleInstance::defaultLockPath()
{
    // Named by the user id: a user name may be empty or shared.
    return lockFolder() + QStringLiteral("/lckb-%1.lock").arg(::getuid());
}

QString platformToRequest(const PlatformContext &c)
{
    if (!c.qpaPlatform.isEmpty())
        return {};
    for (const QString &a : c.arguments.mid(1))
        if (a == QLatin1String("-platform") || a == QLatin1String("--platform"))
            return {};
    const bool wayland = !c.waylandDisplay.isEmpty() || c.sessionType == QLatin1String("wayland");
    if (!wayland || c.display.isEmpty())
        return {};
    return QStringLiteral("xcb;wayland");
}

PlatformContext platformContextFromEnvironment(const QStringList &arguments)
{
    return {qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariable("WAYLAND_DISPLAY"),
            qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("XDG_SESSION_TYPE"), arguments};
}

Options parseOptions(const QStringList &arguments)
{
    Options o;
    QCommandLineParser p;
    if (QCoreApplication::applicationName().isEmpty())
        QCoreApplication::setApplicationName(QStringLiteral("lckb"));
    p.setApplicationDescription(QStringLiteral(
        "澜策快报: bulletins of the subscription service in the tray, with pop-ups and sounds."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption hosts(
        QStringLiteral("hosts"),
        QStringLiteral("The service's three hosts, each host[:port], comma-separated (lines 0 to 2; "
                       "line 3 is host 0 on port 803). Default: %1,%2,%3.")
            .arg(QString::fromLatin1(kDefaultHosts[0]), QString::fromLatin1(kDefaultHosts[1]),
                 QString::fromLatin1(kDefaultHosts[2])),
        QStringLiteral("HOST0,HOST1,HOST2"));
    const QCommandLineOption poll(
        QStringLiteral("poll-interval"),
        QStringLiteral("Seconds between two reminder polls (default 30; for demonstrations)."),
        QStringLiteral("SECONDS"));
    // Qt's own -platform NAME stays on the command line for the application
    // object; single-dash words are options of their own, as Qt reads them.
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QCommandLineOption platform(QStringLiteral("platform"), QString(), QStringLiteral("NAME"));
    platform.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(help);
    p.addOption(version);
    p.addOption(platform);
    p.addOption(hosts);
    p.addOption(poll);
    if (!p.parse(arguments)) {
        o.ok = false;
        o.message = p.errorText();
        return o;
    }
    if (p.isSet(help)) {
        o.exitNow = true;
        o.message = p.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("lckb"));
        return o;
    }
    if (p.isSet(version)) {
        o.exitNow = true;
        o.message = QStringLiteral("lckb %1\n").arg(QStringLiteral(LCKB_VERSION));
        return o;
    }
    if (!p.positionalArguments().isEmpty()) {
        o.ok = false;
        o.message = QStringLiteral("unexpected argument: %1").arg(p.positionalArguments().first());
        return o;
    }
    if (p.isSet(hosts)) {
        const auto t = makeServerLines(p.value(hosts).split(u','));
        if (!t) {
            o.ok = false;
            o.message = QStringLiteral("--hosts wants three entries host[:port], comma-separated");
            return o;
        }
        o.serverLines = *t;
    }
    if (p.isSet(poll)) {
        bool ok = false;
        const double s = p.value(poll).toDouble(&ok);
        if (!ok || s < 0.05 || s > 86400) {
            o.ok = false;
            o.message = QStringLiteral("--poll-interval wants a number of seconds");
            return o;
        }
        o.pollIntervalMs = int(s * 1000);
    }
    return o;
}

} // namespace lckb
