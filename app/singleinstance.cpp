#include "app/singleinstance.h"

#include "desktop/xdgfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lckb {

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
    const QString runtime = xdgRuntimeDir();
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

} // namespace lckb
