#include "app/datafolder.h"

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
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome)) // unset, empty or relative: the default
        configHome = QDir::homePath() + QStringLiteral("/.config");
    const bool writable = ::access(QFile::encodeName(programDir).constData(), W_OK) == 0;
    return dataFolder(programDir, writable, configHome);
}

QString recentFile(const QString &programDir, const QString &dataDir, const QString &stateHome)
{
    if (dataDir == programDir)
        return QDir(programDir).filePath(QStringLiteral("recent"));
    return QDir(stateHome).filePath(QStringLiteral("lckb/recent"));
}

QString recentFile(const QString &programDir, const QString &dataDir)
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return recentFile(programDir, dataDir, stateHome);
}

} // namespace lckb
