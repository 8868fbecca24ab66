#pragma once
// A path's bytes as the system takes them, from the program's text of it, and
// back. Names are UTF-8; a byte that is not part of valid UTF-8 (an old
// archive's "caf\xe9.pdf") is kept in the text as the code point U+DC80 +
// (byte - 0x80), a lone surrogate no valid text holds, so every name the
// system gives comes back byte for byte: decodeName then encodeName is the
// identity on every byte string, and encodeName is toUtf8 on valid text.
// Qt's own QFile::decodeName turns such bytes into U+FFFD for good.

#include <QByteArray>
#include <QString>

namespace qm::text {

QString decodeName(const QByteArray& bytes);
QByteArray encodeName(const QString& path);
// `s[i]` stands for such a byte.
bool isRawByte(const QString& s, qsizetype i);
// The text holds such bytes.
bool holdsRawBytes(const QString& path);

}  // namespace qm::text
