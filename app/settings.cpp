#include "app/settings.h"

#include "app/gbk.h"
#include "app/keys.h"
#include "app/smallfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace lckb {
namespace {

const QByteArray kCrLf("\r\n");

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b).toString();
}

bool isQuoted(QStringView s)
{
    return s.size() >= 2 && s.front() == s.back() && (s.front() == u'"' || s.front() == u'\'');
}

QString unquote(const QString &trimmed)
{
    return isQuoted(trimmed) ? trimmed.mid(1, trimmed.size() - 2) : trimmed;
}

} // namespace

ProfileDocument::ProfileDocument(const QByteArray &bytes)
    : m_bytes(bytes)
{
    parse();
}

void ProfileDocument::parse()
{
    m_lines.clear();
    m_entries.clear();
    qsizetype pos = 0;
    const qsizetype n = m_bytes.size();
    while (pos < n) {
        // CR and LF never occur inside a code page 936 character, so the
        // bytes can be split into lines before decoding.
        qsizetype lf = m_bytes.indexOf('\n', pos);
        Line l;
        l.start = pos;
        if (lf < 0) {
            l.length = n - pos;
            pos = n;
        } else {
            l.length = lf - pos;
            l.endLength = 1;
            if (l.length > 0 && m_bytes.at(lf - 1) == '\r') {
                --l.length;
                l.endLength = 2;
            }
            pos = lf + 1;
        }
        m_lines.append(l);

        Entry e;
        e.line = int(m_lines.size() - 1);
        const QByteArray raw = lineBytes(l);
        const QString text = decodeGbk(raw);
        const QString t = trimBlanks(text);
        if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            e.section = trimBlanks(QStringView(t).sliced(1, (close < 0 ? t.size() : close) - 1));
            if (e.section.isEmpty())
                e.section = QStringLiteral("\x01"); // "[]" names no section anyone asks for
        } else if (!t.startsWith(u';')) {
            // '=' is never part of a two-byte character either.
            const qsizetype eq = raw.indexOf('=');
            if (eq >= 0) {
                e.key = trimBlanks(decodeGbk(raw.left(eq)));
                e.eqOffset = eq;
            }
        }
        m_entries.append(e);
    }
}

int ProfileDocument::findSection(const QString &section) const
{
    const QString want = trimBlanks(section);
    for (const Entry &e : m_entries)
        if (!e.section.isEmpty() && e.section.compare(want, Qt::CaseInsensitive) == 0)
            return e.line;
    return -1;
}

int ProfileDocument::findKey(int sectionLine, const QString &key) const
{
    const QString want = trimBlanks(key);
    for (int i = sectionLine + 1; i < m_entries.size(); ++i) {
        const Entry &e = m_entries.at(i);
        if (!e.section.isEmpty())
            break;
        if (e.eqOffset >= 0 && e.key.compare(want, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString ProfileDocument::value(const QString &section, const QString &key, bool *found) const
{
    if (found)
        *found = false;
    const int s = findSection(section);
    if (s < 0)
        return {};
    const int k = findKey(s, key);
    if (k < 0)
        return {};
    if (found)
        *found = true;
    const Line &l = m_lines.at(k);
    const QByteArray raw = lineBytes(l).mid(m_entries.at(k).eqOffset + 1);
    return unquote(trimBlanks(decodeGbk(raw)));
}

QString ProfileDocument::storedForm(const QString &value)
{
    if (trimBlanks(value) != value || isQuoted(value))
        return u'"' + value + u'"';
    return value;
}

void ProfileDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    const QByteArray valueBytes = encodeGbk(storedForm(value));
    const int s = findSection(section);
    if (s >= 0) {
        const int k = findKey(s, key);
        if (k >= 0) {
            // Replace only what follows '=', keeping the key as it was spelt.
            const Line &l = m_lines.at(k);
            const qsizetype from = l.start + m_entries.at(k).eqOffset + 1;
            m_bytes.replace(from, l.start + l.length - from, valueBytes);
            parse();
            return;
        }
        // New key: after the section's last non-blank line, so blank lines
        // that separate it from the next section stay where they are.
        int last = s;
        for (int i = s + 1; i < m_entries.size() && m_entries.at(i).section.isEmpty(); ++i)
            if (!trimBlanks(decodeGbk(lineBytes(m_lines.at(i)))).isEmpty())
                last = i;
        const Line &l = m_lines.at(last);
        QByteArray insert = encodeGbk(trimBlanks(key)) + '=' + valueBytes + kCrLf;
        qsizetype at = l.start + l.length + l.endLength;
        if (l.endLength == 0) { // the section's last line ends the file without a line end
            insert.prepend(kCrLf);
            at = l.start + l.length;
        }
        m_bytes.insert(at, insert);
        parse();
        return;
    }
    if (!m_bytes.isEmpty() && !m_bytes.endsWith('\n'))
        m_bytes += kCrLf;
    m_bytes += '[' + encodeGbk(trimBlanks(section)) + ']' + kCrLf;
    m_bytes += encodeGbk(trimBlanks(key)) + '=' + valueBytes + kCrLf;
    parse();
}

namespace {

// What identifies one version of the file on disk. Two versions with the same
// identity are the same bytes as far as anyone editing it by hand can tell.
struct FileStamp
{
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime = {};
    timespec ctime = {};
    bool operator==(const FileStamp &o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec
               && mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec
               && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

enum class FileKind { Absent, Usable, Unusable };

// Follows a symbolic link: people keep the file elsewhere on purpose.
FileKind statFile(const QString &file, struct stat *st)
{
    if (::stat(QFile::encodeName(file).constData(), st) != 0)
        return FileKind::Absent;
    // Only a plain file: a pipe or a device under that name would block or
    // never end. A real file is a few hundred bytes; a huge one is not ours
    // to read in full (or to rewrite) at every start.
    if (!S_ISREG(st->st_mode) || st->st_size > kProfileFileLimit)
        return FileKind::Unusable;
    return FileKind::Usable;
}

FileStamp stampOf(const struct stat &st)
{
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// The start-up reads a dozen keys one after the other; the file is parsed
// once and the parse reused for as long as the file on disk is unchanged.
struct ParsedFile
{
    QString path;
    FileStamp stamp;
    ProfileDocument doc;
};
ParsedFile &lastParsed()
{
    static ParsedFile p;
    return p;
}

// The parsed file, or nothing when it is absent or cannot be used.
std::optional<ProfileDocument> loadIni(const QString &file, FileKind *kind = nullptr, struct stat *stOut = nullptr)
{
    struct stat st = {};
    const FileKind k = statFile(file, &st);
    if (kind)
        *kind = k;
    if (stOut)
        *stOut = st;
    if (k != FileKind::Usable)
        return std::nullopt;
    ParsedFile &cache = lastParsed();
    if (cache.path == file && cache.stamp == stampOf(st))
        return cache.doc;
    // Read through a link, as it was found above.
    const SmallFileRead read = readSmallFile(file, kProfileFileLimit, Links::Follow);
    if (!read.ok())
        return std::nullopt;
    // Stamp from the open file: if the file was replaced in between, the
    // stamp describes what was read.
    if (qint64(read.st.st_size) != read.bytes.size())
        return ProfileDocument(read.bytes);
    cache = ParsedFile{file, stampOf(read.st), ProfileDocument(read.bytes)};
    return cache.doc;
}

// Where a write goes: the target of a symbolic link, through any chain of
// them, even one to nothing yet; the name itself when the chain never ends.
QString writtenPath(const QString &file)
{
    QFileInfo info(file);
    for (int depth = 0; depth < 128 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? file : info.filePath();
}

void remember(const QString &file, const ProfileDocument &doc)
{
    struct stat st = {};
    if (statFile(file, &st) == FileKind::Usable)
        lastParsed() = ParsedFile{file, stampOf(st), doc};
}

bool holdsPassword(const ProfileDocument &doc)
{
    return !doc.value(keys::login, keys::pass).isEmpty();
}

} // namespace

bool profileFileUsable(const QString &file)
{
    struct stat st = {};
    return statFile(file, &st) == FileKind::Usable;
}

QString readProfile(const QString &section, const QString &key, const QString &file)
{
    const std::optional<ProfileDocument> doc = loadIni(file);
    if (!doc)
        return {};
    const QString v = doc->value(section, key);
    const QByteArray bytes = encodeGbk(v);
    if (bytes.size() <= kProfileValueLimit)
        return v;
    return decodeGbk(bytes.left(gbkPrefixLength(bytes, kProfileValueLimit)));
}

bool writeProfile(const QString &section, const QString &key, const QString &value, const QString &file)
{
    // A line break or NUL would end the line early and let the rest of the
    // value be read as further keys.
    for (QChar c : value)
        if (c == u'\r' || c == u'\n' || c == QChar(0))
            return false;

    FileKind kind = FileKind::Absent;
    struct stat st = {};
    std::optional<ProfileDocument> old = loadIni(file, &kind, &st);
    if (kind == FileKind::Unusable)
        return false; // never rewritten: nothing of what is there gets lost
    const bool exists = kind == FileKind::Usable;
    if (exists) {
        // A file marked read-only stays untouched, even for a user (root)
        // whom the system would let write it.
        if (!old || !(st.st_mode & S_IWUSR) || ::access(QFile::encodeName(file).constData(), W_OK) != 0)
            return false;
    }
    ProfileDocument doc = old.value_or(ProfileDocument());
    doc.setValue(section, key, value);
    if (doc.bytes().size() > kProfileFileLimit)
        return false;

    // The login password is stored in plain text: once the file holds one,
    // only its owner may read it. An existing file keeps its owner, group and
    // mode otherwise.
    SmallFileWriteOptions options;
    options.mode = exists ? (st.st_mode & 07777) : mode_t(0600);
    if (holdsPassword(doc))
        options.mode &= ~mode_t(077);
    options.exactMode = true;
    if (exists) {
        options.uid = st.st_uid;
        options.gid = st.st_gid;
    }
    // Writes the target of a symbolic link, through a new file renamed over it.
    if (!writeSmallFile(writtenPath(file), doc.bytes(), options).ok())
        return false;
    remember(file, doc);
    return true;
}

QString programFolder()
{
    QString dir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
}

QString profilePathIn(const QString &appDir)
{
    QString dir = appDir;
    if (!dir.endsWith(QDir::separator()) && !dir.endsWith(u'/'))
        dir += QDir::separator();
    return dir + QStringLiteral("config.ini");
}

} // namespace lckb
