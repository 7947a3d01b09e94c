#include "app/smallfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace lckb {

namespace {

constexpr int kNameLetters = 6; // as mkostemp's "XXXXXX"

// A new file's name: NAME.XXXXXX, six letters or digits.
QByteArray temporaryName(const QByteArray &name)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray temp = name + '.';
    for (int i = 0; i < kNameLetters; ++i)
        temp += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return temp;
}

bool isTemporaryOf(const QByteArray &entry, const QByteArray &name)
{
    if (entry.size() != name.size() + 1 + kNameLetters || !entry.startsWith(name) || entry.at(name.size()) != '.')
        return false;
    for (qsizetype i = name.size() + 1; i < entry.size(); ++i) {
        const char c = entry.at(i);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// All of `bytes` (a short write or EINTR goes on), then synced to disk, so
// that half a file is never renamed over a whole one.
bool writeFullyAndSync(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += n;
    }
    return ::fsync(fd) == 0;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString SmallFileRead::errorText() const { return errnoText(error); }
QString SmallFileWritten::errorText() const { return errnoText(error); }

SmallFileRead readSmallFile(const QString &path, qint64 limit, Links links)
{
    SmallFileRead r;
    // O_NONBLOCK: a FIFO or a device under the name must not hang the caller.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0) {
        r.error = errno;
        r.status = r.error == ENOENT                            ? SmallFileRead::Missing
                   : r.error == ELOOP && links == Links::Refuse ? SmallFileRead::Link
                                                                : SmallFileRead::Unreadable;
        return r;
    }
    if (::fstat(fd, &r.st) != 0) {
        r.error = errno;
        r.status = SmallFileRead::Unreadable;
    } else if (!S_ISREG(r.st.st_mode)) {
        r.status = SmallFileRead::NotRegular;
    } else if (r.st.st_size > limit) {
        r.status = SmallFileRead::TooLarge;
    } else {
        // One byte more than allowed tells a file that grew past the limit
        // while it was read.
        QByteArray bytes(qsizetype(r.st.st_size) + 1, Qt::Uninitialized);
        qsizetype got = 0;
        r.status = SmallFileRead::Ok;
        for (;;) {
            if (got == bytes.size()) {
                if (got > limit)
                    break;
                bytes.resize(qsizetype(std::min<qint64>(2 * qint64(got), limit + 1)));
            }
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                r.error = errno;
                r.status = SmallFileRead::Unreadable;
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        if (r.status == SmallFileRead::Ok && got > limit)
            r.status = SmallFileRead::TooLarge;
        if (r.status == SmallFileRead::Ok) {
            bytes.truncate(got);
            r.bytes = bytes;
        }
    }
    ::close(fd);
    return r;
}

SmallFileWritten writeSmallFileAt(int dirFd, const QByteArray &name, const QByteArray &bytes,
                                  const SmallFileWriteOptions &options)
{
    SmallFileWritten w;
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryName(name);
        fd = ::openat(dirFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, options.mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        w.status = SmallFileWritten::CannotCreate;
        w.error = errno;
        return w;
    }
    if (options.uid != uid_t(-1) || options.gid != gid_t(-1)) {
        if (::fchown(fd, options.uid, options.gid) != 0) {
            // Only root may give a file away; the writer's own is what a
            // file of the user's has anyway.
        }
    }
    if (options.exactMode && ::fchmod(fd, options.mode) != 0)
        w.status = SmallFileWritten::CannotSetMode;
    else if (!writeFullyAndSync(fd, bytes))
        w.status = SmallFileWritten::CannotWrite;
    w.error = w.ok() ? 0 : errno;
    ::close(fd);
    if (w.ok() && ::renameat(dirFd, temp.constData(), dirFd, name.constData()) != 0) {
        w.status = SmallFileWritten::CannotReplace;
        w.error = errno;
    }
    if (!w.ok()) {
        ::unlinkat(dirFd, temp.constData(), 0);
        return w;
    }
    // The rename made lasting; a file system that cannot sync a folder has
    // the new file in place all the same.
    ::fsync(dirFd);
    return w;
}

SmallFileWritten writeSmallFile(const QString &path, const QByteArray &bytes, const SmallFileWriteOptions &options)
{
    const QFileInfo info(path);
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        SmallFileWritten w;
        w.status = SmallFileWritten::NoFolder;
        w.error = errno;
        return w;
    }
    const SmallFileWritten w = writeSmallFileAt(dirFd, QFile::encodeName(info.fileName()), bytes, options);
    ::close(dirFd);
    return w;
}

void removeStaleTemporaries(const QString &path)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent *e = ::readdir(dir)) {
        struct stat st = {};
        if (isTemporaryOf(QByteArray(e->d_name), name) && ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == ::getuid())
            ::unlinkat(dirFd, e->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace lckb
