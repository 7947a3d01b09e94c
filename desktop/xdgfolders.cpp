#include "desktop/xdgfolders.h"

#include <QDir>

namespace lckb {

namespace {
// A relative value is to be ignored, as if unset.
QString absoluteOr(const char *variable, const QString &underHome)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::homePath() + underHome;
}
} // namespace

QString xdgConfigHome()
{
    return absoluteOr("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QStringList xdgConfigDirs()
{
    QStringList dirs;
    for (const QString &d : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(d))
            dirs << d;
    if (dirs.isEmpty())
        dirs << QStringLiteral("/etc/xdg");
    return dirs;
}

QString xdgStateHome()
{
    return absoluteOr("XDG_STATE_HOME", QStringLiteral("/.local/state"));
}

QString xdgRuntimeDir()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR");
}

} // namespace lckb
