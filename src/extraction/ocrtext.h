#pragma once
// What tesseract gives for a page made into the page's text: words split by
// a hyphen at a line's end joined again, as pdftotext joins them in typed
// text.

#include <QByteArray>

namespace qm {

// `utf8` (one page's OCR text, valid UTF-8) with each word split at a line's
// end joined: a line whose last word ends in a hyphen after a letter, and a
// next line that begins with a lower-case letter, become one word at the end
// of the first line ("automat-" and "ically" give "automatically"). The
// hyphen is dropped unless the page holds the hyphened word elsewhere and not
// the joined one ("self-" and "aware" stay "self-aware" on a page that says
// "self-aware" again). Every other byte is kept.
QByteArray joinLineEndHyphens(const QByteArray& utf8);

}  // namespace qm
