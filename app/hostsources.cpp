#include "app/hostsources.h"

#include "app/settings.h"
#include "app/smallfile.h"
#include "desktop/xdgfolders.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#ifndef LCKB_BUILTIN_HOSTS
#define LCKB_BUILTIN_HOSTS ""
#endif

namespace lckb {

namespace {
const QString kSection = QStringLiteral("lines");
const QString kUsage = QStringLiteral("[lines] line0=, line1=, line2=, each host[:port]");

// A value as the message shows it: a control character (a NUL would end
// the line on stderr) as \xNN.
QString shown(const QString &value)
{
    QString out;
    for (QChar c : value.left(100)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QLatin1String("\\x") + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

QString linesFileIn(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("lckb/") + QLatin1String(kLinesFileName));
}
} // namespace

QStringList HostPlaces::files() const
{
    QStringList out;
    if (!programDir.isEmpty())
        out << QDir(programDir).filePath(QLatin1String(kLinesFileName));
    if (!configHome.isEmpty())
        out << linesFileIn(configHome);
    for (const QString &d : configDirs)
        out << linesFileIn(d);
    return out;
}

HostPlaces HostPlaces::fromEnvironment(const QString &programDir)
{
    HostPlaces p;
    p.programDir = programDir;
    p.configHome = xdgConfigHome();
    p.configDirs = xdgConfigDirs();
    p.builtIn = builtInHosts();
    return p;
}

QString builtInHosts()
{
    return QStringLiteral(LCKB_BUILTIN_HOSTS);
}

std::optional<ServerLines> readLinesFile(const QString &path, QString *problem)
{
    problem->clear();
    const auto refuse = [&](const QString &why) {
        *problem = QStringLiteral("%1: %2; the file is ignored (it wants %3)").arg(path, why, kUsage);
        return std::nullopt;
    };
    // Missing is quiet; a link that leads nowhere or round in a loop is a
    // file someone meant to be read.
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        return refuse(QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (::stat(name.constData(), &st) != 0)
        return refuse(errno == ELOOP ? QStringLiteral("is a loop of symbolic links")
                                     : QStringLiteral("is a symbolic link to nothing readable (%1)")
                                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
    // Only a plain file is read: a FIFO would hang the start.
    const SmallFileRead read = readSmallFile(path, kProfileFileLimit, Links::Follow);
    if (read.status == SmallFileRead::NotRegular || read.status == SmallFileRead::TooLarge)
        return refuse(QStringLiteral("not a plain file of at most 1 MiB"));
    if (!read.ok())
        return refuse(QStringLiteral("cannot be read (%1)").arg(read.errorText()));
    const ProfileDocument doc(read.bytes);
    QStringList hosts;
    for (int i = 0; i < 3; ++i) {
        const QString key = QStringLiteral("line%1").arg(i);
        bool found = false;
        const QString host = doc.value(kSection, key, &found).trimmed();
        if (!found)
            return refuse(QStringLiteral("[lines] %1 is missing").arg(key));
        if (!isHostEntry(host))
            return refuse(QStringLiteral("[lines] %1=%2 is not host[:port]").arg(key, shown(host)));
        hosts << host;
    }
    return makeServerLines(hosts);
}

HostChoice chooseHosts(const std::optional<ServerLines> &given, const HostPlaces &places)
{
    HostChoice c;
    if (given) {
        c.lines = given;
        c.source = QStringLiteral("--hosts");
        return c;
    }
    for (const QString &file : places.files()) {
        QString problem;
        if (auto lines = readLinesFile(file, &problem)) {
            c.lines = lines;
            c.source = file;
            return c;
        }
        if (!problem.isEmpty())
            c.problems << problem;
    }
    if (!places.builtIn.isEmpty()) {
        if (auto lines = makeServerLines(places.builtIn.split(u','))) {
            c.lines = lines;
            c.source = QStringLiteral("built in");
            return c;
        }
        c.problems << QStringLiteral("the hosts built in (%1) are not three entries host[:port]; ignored")
                          .arg(places.builtIn);
    }
    return c;
}

QString missingHostsMessage(const HostPlaces &places)
{
    QString where;
    const QStringList files = places.files();
    for (const QString &f : files)
        where += QStringLiteral("\n    ") + QDir::toNativeSeparators(f);
    return QStringLiteral("没有设置服务器地址，无法显示网页和接收提醒。\n\n"
                          "请在以下任一文件中写入三条线路的服务器地址（前面的优先）：%1\n\n"
                          "文件内容：\n    [lines]\n    line0=主机[:端口]\n    line1=主机[:端口]\n    line2=主机[:端口]\n\n"
                          "然后重新启动程序。也可以用命令行参数 --hosts 主机0,主机1,主机2 启动。")
        .arg(where);
}

} // namespace lckb
