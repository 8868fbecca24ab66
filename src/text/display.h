#pragma once
// Which characters count as printable, and how text is shown on one line.

#include <QByteArray>
#include <QString>

namespace qm::text {

// Code points 32 to 126 and 160 up.
inline bool isPrintable(char32_t c) {
    return (c >= 32 && c <= 126) || c >= 160;
}

// Control characters: below 32, and 127 to 159.
inline bool isControl(char32_t c) {
    return c < 32 || (c >= 127 && c <= 159);
}

// The number of characters (code points) of a text: a surrogate pair is one
// character, any other UTF-16 unit (an unpaired surrogate too) is one.
qsizetype characterCount(const QString& text);
// The text cut after `limit` characters as characterCount counts them; a
// surrogate pair is never cut in two.
QString leftCharacters(const QString& text, qsizetype limit);

// Bidirectional embeddings, overrides and isolates (U+202A to U+202E, U+2066
// to U+2069): unseen, they reorder the text that follows them.
inline bool isBidiControl(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The text with every control character shown as one blank, so that it stays
// on one line (a list cell, an export field, a terminal line). A byte of a file
// name that is not UTF-8 (kept as U+DC80..U+DCFF, see fs::decodeName) is
// shown as "\xE9", so it is seen and no export writes a lone surrogate.
QString blankControls(const QString& text);

// A name or a snippet as a list or a terminal shows it: on one line
// (blankControls), with every bidirectional control shown as "<U+202E>" so
// that nothing is reordered. With `keepLineFeeds`, line feeds stay (a report
// of several lines).
QString displayText(const QString& text, bool keepLineFeeds = false);
// Only the second half of that: every bidirectional control as "<U+202E>",
// the rest as it is (the text file's lines on a terminal).
QString showBidiControls(const QString& text);

// The same as bytes to print, but a byte of a name that is not UTF-8 is
// written as that byte: what the command line prints of a name is the name
// a script hands back to the system.
QByteArray displayBytes(const QString& text, bool keepLineFeeds = false);

}  // namespace qm::text
