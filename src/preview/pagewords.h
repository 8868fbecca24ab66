#pragma once
// The words of one page with their boxes, as `pdftotext -bbox-layout` gives
// them (XHTML: page, flow, block, line, word; boxes in points from the page's
// top left), joined into the page's text as pdftotext joins them when it
// extracts, so that a place in that text has a box on the page.

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <string>
#include <vector>

namespace qm {

struct PageWord {
    QString text;
    QRectF box;  // points, from the page's top left
    int line = 0;
    int block = 0;
    int flow = 0;
};

struct PageWords {
    QSizeF size;  // the page in points; empty when not known
    std::vector<PageWord> words;
    // The output ended early or was not well formed: the words read before are kept.
    bool damaged = false;
};

// The first page of `xhtml` (the output of pdftotext -bbox-layout).
PageWords parsePageWords(const QByteArray& xhtml);

// The page's text as the extractor writes it, and where each word stands in it.
struct JoinedPage {
    std::string utf8;
    struct Span {
        std::size_t begin;  // bytes of utf8
        std::size_t end;
    };
    std::vector<Span> spans;  // one per word of the page, in order
};

// Words of a line are joined by a blank unless they nearly touch (a
// superscript, a kerned logo); a line ends with a line end, except that a
// line of a block ending in a hyphen joins the next without the hyphen; each
// flow ends with an empty line, the page with a form feed.
JoinedPage joinPageWords(const PageWords& page);

}  // namespace qm
