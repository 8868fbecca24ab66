#pragma once
// The forms a text is compared in besides its own: without accents (a letter
// after canonical decomposition without its combining marks; the letters that
// do not decompose by their bare letters: ø o, ł l, đ d, ħ h, ı i, æ ae, œ oe,
// ß ss), and the classes of characters that tell where a word ends.

#include <cstddef>
#include <string_view>

namespace qm {

// A combining mark (Unicode's marks: non-spacing, spacing and enclosing).
bool isCombiningMark(char32_t c);

// Letters, digits and the underscore, as Unicode classes them.
bool isWordCharacter(char32_t c);

// `c` without its accents, as up to four code points written to `out`; none
// for a non-spacing mark. Returns how many.
std::size_t stripAccents(char32_t c, char32_t* out);

// Up to eight bytes of UTF-8 written to `out` for `c` (a character of two or
// more bytes) without accents when `strip`, then lowered code point by code
// point when `lower`. Returns how many.
std::size_t foldCodePoint(char32_t c, bool lower, bool strip, char* out);

// What stands beside an occurrence: a word character, something else (or the
// text's end), or nothing known yet (the edge of a piece of a longer text).
enum class WordSide { NotWord, Word, Unknown };

// The character that ends at byte `at` of `text` (valid UTF-8), combining
// marks taken back to the letter they belong to. Unknown at the text's start.
WordSide wordSideBefore(std::string_view text, std::size_t at);

// The character that begins at byte `at`. A combining mark there belongs to the
// occurrence's last letter and counts as a word character, or, with `skipMarks`
// (accents ignored: the marks are part of the occurrence), is passed over.
// Unknown at the text's end.
WordSide wordSideAfter(std::string_view text, std::size_t at, bool skipMarks);

}  // namespace qm
