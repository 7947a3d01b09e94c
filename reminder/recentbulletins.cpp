#include "reminder/recentbulletins.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
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

// The whole file, or nothing when it is missing, a link, not a plain file
// or larger than the limit.
QByteArray readSmallFile(const QString &file, qint64 limit)
{
    // O_NONBLOCK: a FIFO put in its place must not hang the start.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray bytes;
    struct stat st = {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit) {
        bytes.resize(qsizetype(limit) + 1);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        // Grown past the limit while it was read: not ours either.
        bytes.resize(got > limit ? 0 : got);
    }
    ::close(fd);
    return bytes;
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
    QByteArray line = b.arrived.toString(Qt::ISODate).toUtf8() + '\t' + QByteArray::number(x.channel) + '\t'
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
    const QByteArray bytes = readSmallFile(m_file, kFileLimit);
    // Oldest first; a last line without its line end is one a writer never
    // finished, and goes like any other bad line.
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    for (qsizetype i = lines.size() - 1; i >= 0 && m_items.size() < kKept; --i)
        if (auto b = parseLine(lines.at(i)))
            m_items.append(*b);
}

bool RecentBulletins::save() const
{
    if (m_file.isEmpty())
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
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temp.constData(), QFile::encodeName(m_file).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

} // namespace lckb
