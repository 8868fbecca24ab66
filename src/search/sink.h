#pragma once
// Where matching reports what it finds. The window's results list, the
// command line's printers and the tests each take the occurrences of a run
// through a SearchSink; the matcher knows none of them.

#include <QString>
#include <cstddef>
#include <string_view>

#include "search/snippet.h"

namespace qm {

struct OtherText;

// One occurrence of a phrase in a file's text.
struct Hit {
    const QString& path;  // the file as listed
    std::size_t phrase;   // index of the phrase that found it, in the run's phrase list
    std::size_t chunk;    // chunk of the text, from 0
    std::size_t offset;   // byte offset of the match within the chunk
    const Snippet& snippet;
    std::size_t page = 1;    // 1 + the form feeds before the match in the file's text
    QString phraseText;      // the phrase that found it, as given
    std::size_t length = 0;  // bytes of the chunk the occurrence covers (may run past the snippet)
    bool ocr = false;        // the page's text was read by OCR
    int ocrConfidence = -1;  // then how sure the reader was of its words (0 to 100; -1: not known)
    // Found in a text beside the pages (a comment, a field, an attached file...);
    // null: in the pages' text. `page` is then the text's page, 0 for none.
    const OtherText* other = nullptr;
    std::string_view matched =
        {};  // the occurrence's own bytes, when the search has them (patterns)
};

// What matching does after the sink took an occurrence.
enum class SinkAnswer {
    More,    // go on with the file
    Enough,  // the sink has what it needs of this file: its matching stops at once
};

class SearchSink {
  public:
    virtual ~SearchSink() = default;
    // A file's text is about to be searched.
    virtual void beginFile(const QString& path) { (void)path; }
    // One occurrence, in the order rows are shown: phrase by phrase, each by position.
    virtual SinkAnswer occurrence(const Hit& hit) = 0;
    // True when the sink may have enough of a file before its end: a text
    // from the cache is then unpacked only as far as its search goes.
    virtual bool mayStopEarly() const { return false; }
    // True when the sink reads nothing of an occurrence but that it is one:
    // a search made ahead then only counts them.
    virtual bool countsOnly() const { return false; }
    // The file's text has been searched (or its sink had enough); `found`
    // occurrences were reported.
    virtual void endFile(const QString& path, std::size_t found) {
        (void)path;
        (void)found;
    }
};

}  // namespace qm
