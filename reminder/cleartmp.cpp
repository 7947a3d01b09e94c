#include "cleartmp.h"

#include <QDir>
#include <QFile>

namespace lckb {

int ClearTmp(const QString &appDir)
{
    QDir dat(QDir(appDir).filePath(QStringLiteral("dat")));
    if (!dat.exists())
        return 0;
    int removed = 0;
    const QStringList files = dat.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : files)
        if (QFile::remove(dat.filePath(name)))
            ++removed;
    return removed;
}

} // namespace lckb
