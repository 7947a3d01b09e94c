// Fuzz target: any bytes as config.ini, read with the names the program uses,
// then one key written as writeProfile would write it.
//
// Input: byte 0 picks the section (bits 0-1) and how the value bytes are
// decoded (bits 2-3), byte 1 the key, byte 2 the length limit tried on the
// raw bytes (in units of 8), then the value bytes, a NUL, and the file.
#include "fuzzcheck.h"
#include "app/gbk.h"
#include "app/settings.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <array>
#include <utility>

namespace lckb::fuzz {
namespace {

// The names the program reads and writes, and other spellings of them.
const std::array<const char *, 4> kSections = {"config", "mima", " CONFIG\t", "Mima"};
const std::array<const char *, 17> kKeys = {
    "xianlu", "Check1", "Check2", "Check3", "Check4", "shengyin", "mima", "user", "pass",
    "lczc", "lcgs", "lczb", "lncz", "smzb", "jgjy", "btsd", "tcsd",
};

using Name = std::pair<QString, QString>;

// The program's names, and every key the file spells with the section it
// stands in, so that "other keys keep their values" covers the whole file.
QList<Name> namesIn(const QByteArray &bytes)
{
    QList<Name> out;
    for (const char *s : {"config", "mima"})
        for (const char *k : kKeys)
            out.append({QString::fromLatin1(s), QString::fromLatin1(k)});
    QString section;
    for (const QByteArray &line : bytes.split('\n')) {
        const QString t = decodeGbk(line).trimmed();
        if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            section = t.mid(1, close < 0 ? -1 : close - 1);
        } else if (line.contains('=') && out.size() < 80) {
            out.append({section, decodeGbk(line.left(line.indexOf('=')))});
        }
    }
    return out;
}

// The read cut: at most `limit` bytes, never half a character, and never
// more than one character short.
void checkCut(const QByteArray &bytes, qsizetype limit)
{
    const qsizetype n = gbkPrefixLength(bytes, limit);
    FUZZ_CHECK(n >= 0 && n <= bytes.size());
    if (bytes.size() <= limit) {
        FUZZ_CHECK(n == bytes.size());
        return;
    }
    FUZZ_CHECK(n <= limit && n > limit - 4);
    const QString whole = decodeGbk(bytes), cut = decodeGbk(bytes.left(n));
    FUZZ_CHECK_MSG(whole.startsWith(cut), shown(cut) + " is no prefix of " + shown(whole));
}

QString valueFrom(const QByteArray &bytes, int mode)
{
    QString v;
    switch (mode) {
    case 0: v = decodeGbk(bytes); break;
    case 1: v = QString::fromUtf8(bytes); break; // anything a text box can hold
    default: v = QString::fromLatin1(bytes); break;
    }
    // writeProfile refuses these.
    v.remove(u'\r');
    v.remove(u'\n');
    v.remove(QChar(0));
    return v;
}

} // namespace

void settingsTarget(const unsigned char *data, size_t size)
{
    if (size < 3)
        return;
    const QString section = QString::fromLatin1(kSections[data[0] & 3]);
    const int mode = (data[0] >> 2) & 3;
    const QString key = QString::fromLatin1(kKeys[data[1] % kKeys.size()]);
    const qsizetype limit = qsizetype(data[2]) * 8;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 3, qsizetype(size - 3));
    const qsizetype sep = rest.indexOf('\0');
    const QString value = valueFrom(sep < 0 ? QByteArray() : rest.left(sep), mode);
    const QByteArray before = sep < 0 ? rest : rest.mid(sep + 1);

    checkCut(before, limit);

    const ProfileDocument doc(before);
    const QList<Name> names = namesIn(before);
    QList<QString> old;
    for (const Name &n : names) {
        bool found = true;
        const QString v = doc.value(n.first, n.second, &found);
        FUZZ_CHECK(found || v.isEmpty());
        FUZZ_CHECK(!hasLoneSurrogate(v));
        checkCut(encodeGbk(v), kProfileValueLimit);
        old << (found ? v : QStringLiteral("(absent)"));
    }
    bool existed = false;
    doc.value(section, key, &existed);

    ProfileDocument edited(before);
    edited.setValue(section, key, value);
    const QByteArray after = edited.bytes();

    // What was written reads back, under any spelling of its names.
    for (const QString &s : {section, section.toUpper(), u' ' + section.toLower()}) {
        bool found = false;
        const QString got = edited.value(s, key.toLower(), &found);
        FUZZ_CHECK_MSG(found && got == value, shown(value) + " read back as " + shown(got));
    }
    // Every other key keeps its value.
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Name &n = names.at(i);
        if (n.first.trimmed().compare(section.trimmed(), Qt::CaseInsensitive) == 0
            && n.second.trimmed().compare(key, Qt::CaseInsensitive) == 0)
            continue;
        bool found = true;
        const QString v = edited.value(n.first, n.second, &found);
        FUZZ_CHECK_MSG((found ? v : QStringLiteral("(absent)")) == old.at(i),
                       "[" + n.first.toStdString() + "] " + shown(n.second) + ": " + shown(old.at(i)) + " became "
                           + shown(v));
    }
    // Every byte outside the edit stays: the old and new bytes differ in one
    // stretch, which ends no line of the old file. Replacing a value adds no
    // line; a new key adds at most a line end, a section line and its own.
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (prefix < shorter && before.at(prefix) == after.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && before.at(before.size() - 1 - suffix) == after.at(after.size() - 1 - suffix))
        ++suffix;
    const QByteArray removed = before.mid(prefix, before.size() - prefix - suffix);
    const QByteArray added = after.mid(prefix, after.size() - prefix - suffix);
    FUZZ_CHECK(!removed.contains('\n'));
    FUZZ_CHECK(added.count('\n') <= (existed ? 0 : 3));

    // The value as readProfile returns it.
    checkCut(encodeGbk(value), kProfileValueLimit);
}

} // namespace lckb::fuzz
