#include "reminder/recentbulletins.h"

#include "app/smallfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <sys/stat.h>

namespace lckb {

namespace {

constexpr int kStoredTextLength = 200; // characters of a group or title the file keeps

bool isControl(QChar c)
{
    const QChar::Category cat = c.category();
    return cat == QChar::Other_Control || cat == QChar::Separator_Line || cat == QChar::Separator_Paragraph;
}

// One line of plain text: every control or separator character a blank.
QString plainLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line)
        if (isControl(c))
            c = u' ';
    return line.simplified();
}

// At most `length` code points, so that a character outside the BMP is never
// cut in half.
QString firstCodePoints(const QString &text, int length)
{
    const QList<uint> chars = text.toUcs4();
    if (chars.size() <= length)
        return text;
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), length);
}

// The arrival as ISO 8601 with its offset from UTC, "+08:00" also where it is zero.
QByteArray arrivalText(const QDateTime &arrived)
{
    int offset = arrived.offsetFromUtc();
    QByteArray text = arrived.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1();
    text += offset < 0 ? '-' : '+';
    offset = qAbs(offset) / 60;
    text += QByteArray::number(offset / 60).rightJustified(2, '0') + ':'
            + QByteArray::number(offset % 60).rightJustified(2, '0');
    return text;
}

} // namespace

QString RecentBulletin::label(const QDate &today) const
{
    const QDateTime local = arrived.toLocalTime();
    const QString format = local.date() == today ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd HH:mm");
    return local.toString(format) + QLatin1String("  ") + RecentBulletins::shortTitle(bulletin.title);
}

RecentBulletins::RecentBulletins(const QString &file)
    : m_file(file)
{
    load();
}

void RecentBulletins::add(const Bulletin &b, const QDateTime &arrived)
{
    m_items.prepend(RecentBulletin{arrived, b});
    if (m_items.size() > kKept)
        m_items.resize(kKept);
    save();
}

QString RecentBulletins::shortTitle(const QString &title)
{
    // A title comes from the server and lives on one menu line: a tab there
    // would start the shortcut column and a line break a second line.
    const QString line = plainLine(title);
    if (line.toUcs4().size() <= kTitleLength)
        return line;
    return firstCodePoints(line, kTitleLength - 1).trimmed() + QChar(0x2026);
}

QByteArray RecentBulletins::fileLine(const RecentBulletin &b)
{
    const Bulletin &x = b.bulletin;
    if (!b.arrived.isValid() || x.channel < 0 || x.channel >= kChannelCount || !isServerPath(x.path))
        return {};
    // Fields never hold a tab or a line end: text becomes one plain line, a
    // path keeps its meaning with such bytes written as %XX.
    QByteArray path = x.path.toUtf8();
    for (qsizetype i = 0; i < path.size(); ++i) {
        const uchar c = uchar(path.at(i));
        if (c < 0x20 || c == 0x7f) {
            path.replace(i, 1, QByteArray("%") + QByteArray::number(c, 16).rightJustified(2, '0').toUpper());
            i += 2;
        }
    }
    QByteArray line = arrivalText(b.arrived) + '\t' + QByteArray::number(x.channel) + '\t'
                      + firstCodePoints(plainLine(x.group), kStoredTextLength).toUtf8() + '\t'
                      + firstCodePoints(plainLine(x.title), kStoredTextLength).toUtf8() + '\t' + path + '\n';
    return line.size() <= kLineLimit ? line : QByteArray();
}

std::optional<RecentBulletin> RecentBulletins::parseLine(const QByteArray &line)
{
    if (line.size() >= kLineLimit)
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(line);
    if (utf8.hasError())
        return std::nullopt;
    const QStringList f = text.split(u'\t');
    if (f.size() != 5)
        return std::nullopt;
    for (const QString &field : f)
        for (QChar c : field)
            if (isControl(c))
                return std::nullopt;
    RecentBulletin b;
    b.arrived = QDateTime::fromString(f.at(0), Qt::ISODate);
    bool ok = false;
    b.bulletin.channel = f.at(1).toInt(&ok);
    if (!b.arrived.isValid() || !ok || b.bulletin.channel < 0 || b.bulletin.channel >= kChannelCount
        || !isServerPath(f.at(4)))
        return std::nullopt;
    b.bulletin.group = f.at(2);
    b.bulletin.title = f.at(3);
    b.bulletin.path = f.at(4);
    return b;
}

void RecentBulletins::load()
{
    if (m_file.isEmpty())
        return;
    // A save killed between its new file and the rename leaves the new file
    // behind; only one copy runs, so at start every one of them is stale.
    removeStaleTemporaries(m_file);
    const SmallFileRead read = readSmallFile(m_file, kFileLimit);
    if (read.status != SmallFileRead::Ok && read.status != SmallFileRead::Missing) {
        setAside(read.status == SmallFileRead::Link         ? "是符号链接"
                 : read.status == SmallFileRead::NotRegular ? "不是普通文件"
                 : read.status == SmallFileRead::TooLarge   ? "超过 1 MiB"
                 : read.st.st_mode != 0                     ? "无法读取"
                                                            : "无法打开");
        return;
    }
    const QByteArray &bytes = read.bytes;
    // Oldest first; a last line without its line end is one a writer never
    // finished, and goes like any other bad line.
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    bool whole = lines.size() <= kKept;
    for (qsizetype i = lines.size() - 1; i >= 0 && m_items.size() < kKept; --i) {
        if (auto b = parseLine(lines.at(i)))
            m_items.append(*b);
        else
            whole = false;
    }
    // What the next save would drop goes aside with the file it came in.
    if (!whole || (!bytes.isEmpty() && !bytes.endsWith('\n')))
        setAside("有无法识别的内容");
}

void RecentBulletins::setAside(const char *why)
{
    // Never replaced: it may hold what a trader still wants to read. Moved
    // beside itself under a name of its own, so the list starts anew.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(m_file);
    for (int n = 1; n <= 100; ++n) {
        const QString to = m_file + QStringLiteral(".set-aside-") + stamp + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        const QByteArray target = QFile::encodeName(to);
        struct stat st = {};
        if (::lstat(target.constData(), &st) == 0 || errno != ENOENT)
            continue;
        if (::rename(from.constData(), target.constData()) == 0) {
            m_notice = QStringLiteral("最近提醒的记录文件无法完整读取（%1），已原样改名保存为：\n%2\n最近提醒从现在起重新记录。")
                           .arg(QString::fromUtf8(why), to);
            return;
        }
        break;
    }
    m_writable = false;
    m_notice = QStringLiteral("最近提醒的记录文件无法完整读取（%1），也无法改名保存：\n%2\n它保持原样；本次运行的最近提醒不写入文件。")
                   .arg(QString::fromUtf8(why), m_file);
}

bool RecentBulletins::save() const
{
    if (m_file.isEmpty() || !m_writable)
        return false;
    QByteArray bytes;
    for (qsizetype i = m_items.size() - 1; i >= 0; --i)
        bytes += fileLine(m_items.at(i));
    // The folder is the user's own: created for the user only.
    const QString folder = QFileInfo(m_file).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    // A link in the file's place is replaced, never written through.
    return writeSmallFile(m_file, bytes, {0600}).ok();
}

} // namespace lckb
