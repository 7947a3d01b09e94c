#pragma once
// Reading and replacing the program's small files (the settings, the recent
// list, the autostart entry, the line table), with the same rules for all:
// a read never blocks on a FIFO or device and never takes more than the
// caller allows; a write puts a new file in the same folder and renames it
// over the old, so a crash leaves one or the other whole. What to tell the
// user, and what to do next, stays with the caller.
#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

namespace lckb {

enum class Links { Refuse, Follow };

struct SmallFileRead
{
    enum Status { Ok, Missing, Link, NotRegular, TooLarge, Unreadable };
    Status status = Missing;
    QByteArray bytes; // the whole file, when Ok
    int error = 0;    // errno, when Unreadable
    // The file as opened, even if the name has since been given to another;
    // all zero when it could not be.
    struct stat st = {};

    bool ok() const { return status == Ok; }
    QString errorText() const;
};

// The whole file at `path`, at most `limit` bytes: a larger one is TooLarge,
// never cut short. Only a regular file is read. With Links::Refuse a
// symbolic link in the last place is Link; with Follow it is read through
// (a link to nothing is Missing, a loop Unreadable with ELOOP).
SmallFileRead readSmallFile(const QString &path, qint64 limit, Links links = Links::Refuse);

struct SmallFileWriteOptions
{
    mode_t mode = 0600;     // the new file's mode, less the umask...
    bool exactMode = false; // ...or exactly this, whatever the umask
    // Given to the new file where the system allows it (only root may give
    // a file away); -1: the writer's own.
    uid_t uid = uid_t(-1);
    gid_t gid = gid_t(-1);
};

struct SmallFileWritten
{
    enum Status { Ok, NoFolder, CannotCreate, CannotSetMode, CannotWrite, CannotReplace };
    Status status = Ok;
    int error = 0; // errno of the step that failed

    bool ok() const { return status == Ok; }
    QString errorText() const;
};

// Replaces the file at `path` with `bytes`: a new file beside it, written
// whole and synced, renamed over it, and the folder synced. A symbolic link
// in its place is replaced, never written through; on any failure the old
// file stays as it was and no new file is left behind.
SmallFileWritten writeSmallFile(const QString &path, const QByteArray &bytes, const SmallFileWriteOptions &options = {});
// The same in the folder open as `dirFd`, for a caller that opened it
// itself (without following a link, say).
SmallFileWritten writeSmallFileAt(int dirFd, const QByteArray &name, const QByteArray &bytes,
                                  const SmallFileWriteOptions &options = {});

// Removes the new files a write killed before its rename left beside
// `path`: plain files of the user's own, by the exact names a write gives
// them; a link is never followed. Only where one copy of the program writes
// that file, or a write in progress goes too.
void removeStaleTemporaries(const QString &path);

} // namespace lckb
