#include "settings.h"

#include "gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

IniDocument::IniDocument(const QByteArray &bytes)
    : m_bytes(bytes)
{
    parse();
}

void IniDocument::parse()
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

int IniDocument::findSection(const QString &section) const
{
    const QString want = trimBlanks(section);
    for (const Entry &e : m_entries)
        if (!e.section.isEmpty() && e.section.compare(want, Qt::CaseInsensitive) == 0)
            return e.line;
    return -1;
}

int IniDocument::findKey(int sectionLine, const QString &key) const
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

QString IniDocument::value(const QString &section, const QString &key, bool *found) const
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

QString IniDocument::storedForm(const QString &value)
{
    if (trimBlanks(value) != value || isQuoted(value))
        return u'"' + value + u'"';
    return value;
}

void IniDocument::setValue(const QString &section, const QString &key, const QString &value)
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

QString ReadIni(const QString &section, const QString &key, const QString &file)
{
    // Only a plain file: a pipe or a device under that name would block or never end.
    if (!QFileInfo(file).isFile())
        return {};
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const IniDocument doc(f.read(16 * 1024 * 1024));
    const QString v = doc.value(section, key);
    const QByteArray bytes = encodeGbk(v);
    if (bytes.size() <= kIniValueLimit)
        return v;
    return decodeGbk(bytes.left(gbkPrefixLength(bytes, kIniValueLimit)));
}

bool WriteIni(const QString &section, const QString &key, const QString &value, const QString &file)
{
    // A line break or NUL would end the line early and let the rest of the
    // value be read as further keys.
    for (QChar c : value)
        if (c == u'\r' || c == u'\n' || c == QChar(0))
            return false;

    QByteArray old;
    const QFileInfo info(file);
    const bool exists = info.exists();
    if (exists) {
        // A file marked read-only stays untouched, even for a user (root)
        // whom the system would let write it.
        if (!info.isFile() || !info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner))
            return false;
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        old = f.readAll();
    }
    IniDocument doc(old);
    doc.setValue(section, key, value);

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (!exists) // it may hold the login password in plain text
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (out.write(doc.bytes()) != doc.bytes().size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

QString AppDir()
{
    QString dir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
}

QString iniPathIn(const QString &appDir)
{
    QString dir = appDir;
    if (!dir.endsWith(QDir::separator()) && !dir.endsWith(u'/'))
        dir += QDir::separator();
    return dir + QStringLiteral("config.ini");
}

} // namespace lckb
