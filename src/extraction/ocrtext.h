#pragma once
// What tesseract gives for a page made into the page's text: its words in
// their lines and paragraphs, words split by a hyphen at a line's end joined
// again (as pdftotext joins them in typed text), and how sure the reader was.

#include <QByteArray>
#include <QString>
#include <map>
#include <set>

namespace qm {

// A page whose words tesseract was on average less sure of (0 to 100) was
// read badly: the user is told.
inline constexpr int kLowOcrConfidence = 60;

struct OcrPageText {
    QByteArray text;      // words joined by a blank, lines by a line end, paragraphs by two
    int confidence = -1;  // the words' mean confidence, rounded; -1 when no word was read
    bool operator==(const OcrPageText&) const = default;
};
// A page's text and confidence from tesseract's `tsv` output: a heading, then
// one row per page, block, paragraph, line and word (level 5), each with its
// block, paragraph and line numbers, its confidence and its text.
OcrPageText parseTesseractTsv(const QByteArray& tsv);

// `utf8` (one page's OCR text, valid UTF-8) with each word split at a line's
// end joined: a line whose last word ends in a hyphen after a letter, and a
// next line that begins with a lower-case letter, become one word at the end
// of the first line ("automat-" and "ically" give "automatically"). The
// hyphen is dropped unless the page holds the hyphened word elsewhere and not
// the joined one ("self-" and "aware" stay "self-aware" on a page that says
// "self-aware" again). Every other byte is kept.
QByteArray joinLineEndHyphens(const QByteArray& utf8);

// An OCR text made fit for its page: valid UTF-8, no form feed, and empty
// when it holds no printable character (a page read as empty stays empty).
QByteArray cleanOcrText(const QByteArray& raw);

// Writes the text of `textPath` into `outPath` with page k's text replaced by
// `pageTexts[k]` (and its form feed kept); a page of `kept` keeps its own
// text, followed by a line end and `pageTexts[k]`. False when either file
// fails.
bool spliceOcrTexts(const QString& textPath, const std::map<int, QByteArray>& pageTexts,
                    const QString& outPath, const std::set<int>& kept = {});

}  // namespace qm
