#include "reminder/recentbulletins.h"

#include "app/fdwrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

enum class Read { Missing, Whole, Refused };

// The whole file into `bytes`; Refused when it is there but is a link, not
// a plain file, not to be opened or larger than the limit.
Read readSmallFile(const QString &file, qint64 limit, QByteArray *bytes, const char **why)
{
    // O_NONBLOCK: a FIFO put in its place must not hang the start.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Read::Missing;
        *why = errno == ELOOP ? "是符号链接" : "无法打开";
        return Read::Refused;
    }
    struct stat st = {};
    Read result = Read::Refused;
    *why = "不是普通文件";
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        *why = "超过 1 MiB";
        if (st.st_size <= limit) {
            bytes->resize(qsizetype(limit) + 1);
            qsizetype got = 0;
            bool failed = false;
            while (got < bytes->size()) {
                const ssize_t n = ::read(fd, bytes->data() + got, size_t(bytes->size() - got));
                if (n < 0 && errno == EINTR)
                    continue;
                failed = n < 0;
                if (n <= 0)
                    break;
                got += n;
            }
            // Grown past the limit while it was read: not ours either.
            bytes->resize(got > limit || failed ? 0 : got);
            if (failed)
                *why = "无法读取";
            else if (got <= limit)
                result = Read::Whole;
        }
    }
    ::close(fd);
    return result;
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

// What mkostemp makes of "NAME.XXXXXX": six letters or digits.
bool isTemporaryOf(const QByteArray &entry, const QByteArray &name)
{
    if (entry.size() != name.size() + 7 || !entry.startsWith(name) || entry.at(name.size()) != '.')
        return false;
    for (qsizetype i = name.size() + 1; i < entry.size(); ++i) {
        const char c = entry.at(i);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
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
    removeStaleTemporaries();
    QByteArray bytes;
    const char *why = nullptr;
    const Read read = readSmallFile(m_file, kFileLimit, &bytes, &why);
    if (read == Read::Refused) {
        setAside(why);
        return;
    }
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

void RecentBulletins::removeStaleTemporaries() const
{
    // A save killed between its new file and the rename leaves the new file
    // behind; only one copy runs, so at start every one of them is stale.
    // Only plain files of the user's own, by the exact name mkostemp gives,
    // and a link is removed as a link, never followed.
    const QFileInfo info(m_file);
    const QByteArray name = QFile::encodeName(info.fileName());
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent *e = ::readdir(dir)) {
        struct stat st = {};
        if (isTemporaryOf(QByteArray(e->d_name), name) && ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == ::getuid())
            ::unlinkat(dirFd, e->d_name, 0);
    }
    ::closedir(dir);
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
    // A new file renamed over the old one: a crash leaves either whole, and
    // a link in the file's place is replaced, never written through.
    QByteArray temp = QFile::encodeName(m_file) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = writeFullyAndSync(fd, bytes);
    ::close(fd);
    if (!written || ::rename(temp.constData(), QFile::encodeName(m_file).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

} // namespace lckb
