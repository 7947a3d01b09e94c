#pragma once
// The settings file config.ini, the user's choices on disk.
//
// A small reader and writer for Windows-style profile files, following the
// rules users of such files rely on: section and key names match without
// regard to case, blanks around keys and values do not count, a value in
// matching quotes is returned without them, the first matching section and
// key win. Text is stored in code page 936 with CRLF line ends.
//
// A value edited by hand is seen at the next read: a parse is reused only
// while the file on disk is unchanged. A file over kProfileFileLimit bytes (or
// one that is not a plain file) reads as absent and is never rewritten.
#include <QByteArray>
#include <QList>
#include <QString>

namespace lckb {

// The longest value a read returns, in bytes of the stored text.
inline constexpr qsizetype kProfileValueLimit = 1024;
// The largest settings file read or written; a real one is a few hundred bytes.
inline constexpr qsizetype kProfileFileLimit = 1024 * 1024;

// Whether `file` is a settings file that reads can use: a plain file (or a
// link to one) of at most kProfileFileLimit bytes.
bool profileFileUsable(const QString &file);

// The value of `key` in `section` of `file`, cut to 1,024 bytes
// without splitting a character; the empty text when the file cannot be read
// or the section or key is absent.
QString readProfile(const QString &section, const QString &key, const QString &file);

// Sets `key` in `section` of `file`, creating the file (owner-only
// permissions), the section or the key as needed. Every other byte of the file
// stays as it was. The file is replaced atomically, so a crash or a full disk
// never leaves half a file behind; a symbolic link is written through to its
// target, and the file keeps its owner, group and mode, except that a file
// holding a password ends readable by its owner only. Returns false when
// nothing could be written (read-only or oversized file, read-only folder, a
// value holding a line break); callers that follow the program's rules ignore
// the result.
bool writeProfile(const QString &section, const QString &key, const QString &value, const QString &file);

// The program's folder with exactly one trailing separator.
QString programFolder();

// The settings file inside a folder (with or without a trailing separator).
QString profilePathIn(const QString &appDir);

// The in-memory form of a profile file, for the two functions above and for
// tests that check the bytes. Lines keep their original bytes and ends.
class ProfileDocument
{
public:
    explicit ProfileDocument(const QByteArray &bytes = {});

    // The stored value (trimmed, quotes removed, not yet cut to the limit);
    // `found` tells an empty value from an absent key.
    QString value(const QString &section, const QString &key, bool *found = nullptr) const;
    void setValue(const QString &section, const QString &key, const QString &value);
    QByteArray bytes() const { return m_bytes; }

    // The text a value is written as, quoted when reading it back would
    // otherwise lose its outer blanks or quotes.
    static QString storedForm(const QString &value);

private:
    struct Line
    {
        qsizetype start = 0;   // offset of the line in m_bytes
        qsizetype length = 0;  // without the line end
        qsizetype endLength = 0; // 0 (last line without end), 1 (LF) or 2 (CRLF)
    };
    struct Entry
    {
        int line = -1;
        QString section;       // for section headers
        QString key;           // for key lines
        qsizetype eqOffset = -1; // offset of '=' within the line
    };
    void parse();
    QByteArray lineBytes(const Line &l) const { return m_bytes.mid(l.start, l.length); }
    int findSection(const QString &section) const;
    int findKey(int sectionLine, const QString &key) const;

    QByteArray m_bytes;
    QList<Line> m_lines;
    QList<Entry> m_entries; // one per line, same index
};

} // namespace lckb
