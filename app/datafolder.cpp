#include "app/datafolder.h"

#include "desktop/xdgfolders.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace lckb {

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
    const bool writable = ::access(QFile::encodeName(programDir).constData(), W_OK) == 0;
    return dataFolder(programDir, writable, xdgConfigHome());
}

QString recentFile(const QString &programDir, const QString &dataDir, const QString &stateHome)
{
    if (dataDir == programDir)
        return QDir(programDir).filePath(QStringLiteral("recent"));
    return QDir(stateHome).filePath(QStringLiteral("lckb/recent"));
}

QString recentFile(const QString &programDir, const QString &dataDir)
{
    return recentFile(programDir, dataDir, xdgStateHome());
}

} // namespace lckb
