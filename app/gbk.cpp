#include "app/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace lckb {
namespace {

inline bool isLead(uchar b) { return b >= 0x81 && b <= 0xFE; }
inline bool isDigit(uchar b) { return b >= 0x30 && b <= 0x39; }
inline bool isTrail(uchar b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Length of the character starting at i: 1, 2 or 4, or 0 for a byte that
// starts nothing valid (it is then decoded on its own as U+FFFD).
int charLength(const uchar *p, qsizetype i, qsizetype n)
{
    const uchar b = p[i];
    if (b < 0x80 || b == 0x80) // ASCII, and 0x80 which code page 936 maps to the euro sign
        return 1;
    if (!isLead(b))
        return 0;
    if (i + 1 >= n)
        return 0;
    const uchar b2 = p[i + 1];
    if (isTrail(b2))
        return 2;
    if (isDigit(b2) && i + 3 < n && isLead(p[i + 2]) && isDigit(p[i + 3]))
        return 4;
    return 0;
}

inline bool isPrivateUse(QChar c) { return c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF; }

// Code page 936 and GB18030 read some two-byte codes differently: code page
// 936 as a private-use character, GB18030 as a character Unicode has since
// assigned (U+01F9, U+1E3F, CJK radicals and ideographs). Such a character
// is written as the four-byte code GB18030 gives the private-use one: here
// that character has its two bytes, so the four-byte code is free to stand
// for the other, and both read back as they were written.
QString decodeFourBytes(QByteArrayView seq)
{
    QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
    const QString c = gb18030.decode(seq);
    if (c.size() != 1 || !isPrivateUse(c.at(0)))
        return c;
    QStringEncoder gbk("GBK", QStringEncoder::Flag::Stateless);
    const QByteArray two = gbk.encode(c);
    if (gbk.hasError() || two.size() != 2)
        return c;
    const QString assigned = gb18030.decode(two);
    return assigned.isEmpty() || assigned.contains(QChar(QChar::ReplacementCharacter)) ? c : assigned;
}

// GB18030-2022 moved these characters from the four-byte codes they had in
// the 2005 edition to two-byte codes that code page 936 reads as private-use
// characters, so an ICU of the newer edition would write them in bytes that
// read back changed. Files written so far hold the 2005 codes, and decodeGbk
// reads those back the same under either edition: keep writing them.
struct PinnedRun
{
    char16_t first;
    int count;
    uchar code[4]; // the four-byte code of `first`; the others follow it
};
constexpr PinnedRun kPinnedRuns[] = {
    {0x9FB4, 8, {0x82, 0x35, 0x90, 0x37}},  // U+9FB4..U+9FBB
    {0xFE10, 10, {0x84, 0x31, 0x82, 0x36}}, // vertical punctuation U+FE10..U+FE19
};

bool isPinned(char16_t c)
{
    for (const PinnedRun &run : kPinnedRuns)
        if (c >= run.first && c < run.first + run.count)
            return true;
    return false;
}

QByteArray pinnedCode(char16_t c)
{
    for (const PinnedRun &run : kPinnedRuns) {
        if (c < run.first || c >= run.first + run.count)
            continue;
        // Four-byte codes count in mixed radix 126 and 10.
        int index = ((run.code[0] - 0x81) * 10 + (run.code[1] - 0x30)) * 1260
                + (run.code[2] - 0x81) * 10 + (run.code[3] - 0x30) + (c - run.first);
        QByteArray out(4, '\0');
        out[3] = char(0x30 + index % 10);
        index /= 10;
        out[2] = char(0x81 + index % 126);
        index /= 126;
        out[1] = char(0x30 + index % 10);
        out[0] = char(0x81 + index / 10);
        return out;
    }
    return {};
}

// The four-byte form of a character that code page 936 cannot write so that
// decodeGbk reads it back.
QByteArray encodeFourBytes(QStringView ch)
{
    QStringEncoder gb18030("GB18030", QStringEncoder::Flag::Stateless);
    const QByteArray b = gb18030.encode(ch);
    if (b.size() != 2)
        return b;
    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    const QByteArray four = gb18030.encode(gbk.decode(b));
    return four.size() == 4 ? four : b;
}

} // namespace

QString decodeGbk(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);

    qsizetype runStart = 0; // start of a run of one- and two-byte characters
    auto flushRun = [&](qsizetype end) {
        if (end > runStart)
            out += gbk.decode(QByteArrayView(bytes).sliced(runStart, end - runStart));
    };
    qsizetype i = 0;
    while (i < n) {
        const int len = charLength(p, i, n);
        if (len == 1 || len == 2) {
            i += len;
            continue;
        }
        flushRun(i);
        if (len == 4) {
            out += decodeFourBytes(QByteArrayView(bytes).sliced(i, 4));
            i += 4;
        } else {
            out += QChar(QChar::ReplacementCharacter);
            i += 1;
        }
        runStart = i;
    }
    flushRun(n);
    return out;
}

QByteArray encodeGbk(const QString &text)
{
    QStringEncoder gbk("GBK", QStringEncoder::Flag::Stateless);
    QByteArray fast = gbk.encode(text);
    // 0xFF is code page 936's U+F8F5, which decodeGbk takes for a bad byte.
    const bool pinned = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return isPinned(c.unicode()); });
    if (!gbk.hasError() && !fast.contains('\xFF') && !pinned)
        return fast;

    // Slow path, only for text holding characters outside code page 936.
    QByteArray out;
    out.reserve(fast.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            len = 2;
        const QStringView ch = QStringView(text).sliced(i, len);
        if (len == 1 && isPinned(ch.at(0).unicode())) {
            out += pinnedCode(ch.at(0).unicode());
            continue;
        }
        QStringEncoder one("GBK", QStringEncoder::Flag::Stateless);
        QByteArray b = one.encode(ch);
        if (one.hasError() || b == "\xFF")
            b = encodeFourBytes(ch);
        out += b;
        i += len - 1;
    }
    return out;
}

qsizetype gbkPrefixLength(const QByteArray &bytes, qsizetype limit)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n <= limit)
        return n;
    qsizetype i = 0;
    while (i < n) {
        const int len = qMax(1, charLength(p, i, n));
        if (i + len > limit)
            break;
        i += len;
    }
    return i;
}

} // namespace lckb
