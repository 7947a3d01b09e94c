#pragma once
// Text codec for everything this program exchanges in code page 936:
// the server's replies and the settings file.
#include <QByteArray>
#include <QString>

namespace lckb {

// Decodes code page 936 (GBK) bytes. Never fails: a byte that starts no valid
// character becomes U+FFFD, a lead byte cut off at the very end too. Four-byte
// GB18030 sequences are understood as well, since encodeGbk writes them for
// characters that code page 936 lacks.
QString decodeGbk(const QByteArray &bytes);

// Encodes text in code page 936. A character that code page 936 cannot hold
// is written as a four-byte GB18030 sequence instead of '?', so nothing the
// user typed is lost: decodeGbk(encodeGbk(text)) == text for any text without
// lone surrogates. The bytes do not depend on the edition of GB18030 the
// system's ICU follows: a file written on one system reads back the same on
// any other.
QByteArray encodeGbk(const QString &text);

// Length of the longest prefix of at most `limit` bytes that does not split a
// character.
qsizetype gbkPrefixLength(const QByteArray &bytes, qsizetype limit);

} // namespace lckb
