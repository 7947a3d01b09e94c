#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

} // namespace

AutostartEntry::AutostartEntry(const QString &file, const QStringList &command)
    : m_file(file), m_command(command)
{
}

QString AutostartEntry::defaultFile()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return QDir(configHome).filePath(QStringLiteral("autostart/lckb.desktop"));
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
    const QFileInfo info(m_file);
    if (!info.exists())
        return false;
    QFile f(m_file);
    // Not a plain file (a FIFO would hang the menu), or not to be read:
    // whatever it is, it is no entry the desktop starts.
    if (!info.isFile() || !f.open(QIODevice::ReadOnly))
        return false;
    bool inMain = false;
    for (const QByteArray &raw : f.read(kEntryLimit).split('\n')) {
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

bool AutostartEntry::enable() const
{
    const QByteArray bytes = text();
    if (bytes.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile out(m_file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool AutostartEntry::disable() const
{
    // A link in its place goes as a link.
    if (QFileInfo(m_file).isSymLink() || QFileInfo::exists(m_file))
        QFile::remove(m_file);
    return !QFileInfo(m_file).isSymLink() && !QFileInfo::exists(m_file);
}

} // namespace lckb
