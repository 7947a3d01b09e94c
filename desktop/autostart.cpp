#include "desktop/autostart.h"

#include "app/smallfile.h"
#include "desktop/xdgfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lckb {

namespace {

constexpr qint64 kEntryLimit = 64 * 1024; // an autostart entry is a few hundred bytes

// The characters that make an argument need quotes.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

QString quotedArgument(const QString &arg)
{
    QString out = arg;
    bool quote = arg.isEmpty();
    for (QChar c : arg)
        quote = quote || kReserved.contains(c);
    if (quote) {
        out.clear();
        for (QChar c : arg) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                out += u'\\';
            out += c;
        }
        out = u'"' + out + u'"';
    }
    // '%' starts a field code everywhere in Exec, quoted or not.
    return out.replace(u'%', QLatin1String("%%"));
}

QString linkRefusal(const QString &path)
{
    return QStringLiteral("开机自动启动项的位置是一个符号链接，为免改动别处的文件，程序不经由它写入或删除：\n%1\n"
                          "请删除或改正这个链接后再试。")
        .arg(path);
}

// The autostart folder, opened without following a link; -1 with `why` set
// when it cannot be, or is a link.
int openFolder(const QString &folder, QString *why)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        struct stat st = {};
        *why = ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISLNK(st.st_mode)
                   ? linkRefusal(folder)
                   : QStringLiteral("无法打开开机自动启动项所在的文件夹：\n%1").arg(folder);
    }
    return fd;
}

// Where a refusal's reason goes: `why`, emptied, or `spare` for a caller
// who does not ask.
QString *reasonOut(QString *why, QString &spare)
{
    QString *out = why ? why : &spare;
    out->clear();
    return out;
}

bool isLinkIn(int dirFd, const QByteArray &name)
{
    struct stat st = {};
    return ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}


} // namespace

AutostartEntry::AutostartEntry(const QString &file, const QStringList &command)
    : m_file(file), m_command(command)
{
}

QString AutostartEntry::defaultFile()
{
    return QDir(xdgConfigHome()).filePath(QStringLiteral("autostart/lckb.desktop"));
}

QString AutostartEntry::execValue(const QStringList &command)
{
    if (command.isEmpty())
        return {};
    QStringList args;
    for (const QString &a : command) {
        for (QChar c : a)
            if (c.category() == QChar::Other_Control)
                return {}; // no line or tab of a value can carry it
        args << quotedArgument(a);
    }
    // The value's own escape comes on top of the quoting: a backslash is
    // written twice.
    return args.join(u' ').replace(u'\\', QLatin1String("\\\\"));
}

QByteArray AutostartEntry::text() const
{
    const QString exec = execValue(m_command);
    if (exec.isEmpty())
        return {};
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.0\n"
                          "Name=澜策快报\n"
                          "Comment=登录后自动启动澜策快报，在系统托盘接收提醒\n"
                          "Exec=%1\n"
                          "Icon=lckb\n"
                          "Terminal=false\n"
                          "StartupNotify=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec)
        .toUtf8();
}

bool AutostartEntry::enabled() const
{
    // Read through a link, as the desktop reads it. Not a plain file (a FIFO
    // would hang the menu), or not to be read: whatever it is, it is no
    // entry the desktop starts. One too large to look into is there all the
    // same.
    const SmallFileRead read = readSmallFile(m_file, kEntryLimit, Links::Follow);
    if (read.status == SmallFileRead::TooLarge)
        return true;
    if (!read.ok())
        return false;
    bool inMain = false;
    for (const QByteArray &raw : read.bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('['))
            inMain = line == "[Desktop Entry]";
        else if (inMain && line.startsWith("Hidden")) {
            const QByteArray rest = line.mid(6).trimmed();
            if (rest.startsWith('=') && rest.mid(1).trimmed() == "true")
                return false;
        }
    }
    return true;
}

bool AutostartEntry::enable(QString *why) const
{
    QString spare;
    why = reasonOut(why, spare);
    const QString program = m_command.value(0);
    // A folder name that is no UTF-8 reaches Qt as replacement characters (or
    // not at all): an entry would start nothing, or something else.
    if (program.isEmpty() || program.contains(QChar::ReplacementCharacter)) {
        *why = QStringLiteral("本程序所在文件夹的名称不是有效的 UTF-8 文字，开机自动启动项无法记下程序的位置，所以没有写入。\n"
                              "请把程序放到名称只含正常文字的文件夹中再勾选。");
        return false;
    }
    if (!QDir::isAbsolutePath(program)) {
        *why = QStringLiteral("本程序的位置不是完整路径，开机自动启动项没有写入：\n%1").arg(program);
        return false;
    }
    const QByteArray bytes = text();
    if (bytes.isEmpty()) {
        *why = QStringLiteral("启动参数含有控制字符，开机自动启动项无法记下，所以没有写入。");
        return false;
    }
    const QFileInfo info(m_file);
    const QString folder = info.absolutePath();
    // The config folder as it needs be, then the autostart folder itself,
    // which must not be a link.
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ::mkdir(QFile::encodeName(folder).constData(), 0755);
    const int dirFd = openFolder(folder, why);
    if (dirFd < 0)
        return false;
    const QByteArray name = QFile::encodeName(info.fileName());
    const auto fail = [&](const QString &text) {
        *why = text;
        ::close(dirFd);
        return false;
    };
    // A link in the entry's place, even one pointing nowhere, would carry
    // the write out of the folder, or break a link the user made.
    if (isLinkIn(dirFd, name))
        return fail(linkRefusal(m_file));
    const QString failed = QStringLiteral("无法写入开机自动启动项：\n%1").arg(m_file);
    // A new file renamed over the old: a crash leaves either whole.
    if (!writeSmallFileAt(dirFd, name, bytes, {0644}).ok())
        return fail(failed);
    ::close(dirFd);
    return true;
}

bool AutostartEntry::disable(QString *why) const
{
    QString spare;
    why = reasonOut(why, spare);
    const QFileInfo info(m_file);
    const QString folder = info.absolutePath();
    struct stat st = {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 && errno == ENOENT)
        return true; // no folder, no entry
    const int dirFd = openFolder(folder, why);
    if (dirFd < 0)
        return false;
    // A link in its place goes as a link.
    const QByteArray name = QFile::encodeName(info.fileName());
    const bool gone = ::unlinkat(dirFd, name.constData(), 0) == 0 || errno == ENOENT;
    ::close(dirFd);
    if (!gone)
        *why = QStringLiteral("无法删除开机自动启动项：\n%1").arg(m_file);
    return gone;
}

} // namespace lckb
