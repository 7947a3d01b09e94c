#include "reminder/scratchfolder.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lckb {

namespace {

// The folder `dat` of `folder`, opened without following a link, or -1 when
// it is missing or a link. `folder`'s own path is resolved first, so the
// `dat` opened here lies inside it.
int openScratchFolder(const QString &folder)
{
    const QString base = QDir(folder).canonicalPath();
    if (base.isEmpty())
        return -1;
    const QByteArray path = QFile::encodeName(base + QStringLiteral("/dat"));
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

int clearScratchFolder(const QString &folder)
{
    // Only plain files directly inside: a link there goes as a link and what
    // it points to stays; pipes, sockets, devices and folders stay.
    const int fd = openScratchFolder(folder);
    if (fd < 0)
        return 0;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent *e = ::readdir(dir)) {
        const char *name = e->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, ".."))
            continue;
        struct stat st = {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            continue;
        if (::unlinkat(fd, name, 0) == 0)
            ++removed;
    }
    ::closedir(dir); // closes fd too
    return removed;
}

} // namespace lckb
