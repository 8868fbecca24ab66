#include "preview/hitmap.h"

#include <algorithm>

#include "search/searcher.h"
#include "search/sink.h"
#include "text/textfile.h"

namespace qm {

namespace {

// The occurrences as byte ranges of the whole text.
class RangeSink : public SearchSink {
  public:
    explicit RangeSink(const TextChunks& text) : text_(text) {}
    SinkAnswer occurrence(const Hit& hit) override {
        const std::size_t start =
            static_cast<std::size_t>(text_.chunk(hit.chunk).data() - text_.utf8().data()) +
            hit.offset;
        ranges.push_back({start, start + std::max<std::size_t>(hit.length, 1)});
        return SinkAnswer::More;
    }
    std::vector<JoinedPage::Span> ranges;

  private:
    const TextChunks& text_;
};

// Code points of the first `bytes` bytes of `utf8`.
qsizetype codePoints(const QByteArray& utf8, std::size_t bytes) {
    qsizetype n = 0;
    for (std::size_t i = 0; i < bytes && i < static_cast<std::size_t>(utf8.size()); ++i)
        if ((static_cast<unsigned char>(utf8[static_cast<qsizetype>(i)]) & 0xC0) != 0x80) ++n;
    return n;
}

// The share of `word`'s box its bytes [from, to) take, by code points.
QRectF partOf(const PageWord& word, std::size_t from, std::size_t to) {
    const QByteArray utf8 = word.text.toUtf8();
    const qsizetype all = std::max<qsizetype>(1, codePoints(utf8, utf8.size()));
    const double left = double(codePoints(utf8, from)) / double(all);
    const double right = double(codePoints(utf8, to)) / double(all);
    QRectF r = word.box;
    r.setLeft(word.box.left() + left * word.box.width());
    r.setRight(word.box.left() + right * word.box.width());
    return r;
}

}  // namespace

std::vector<PageOccurrence> findOnPage(const PageWords& page, const QString& phrase,
                                       CaseMode caseMode, bool loose) {
    std::vector<PageOccurrence> found;
    if (phrase.isEmpty() || page.words.empty()) return found;
    const JoinedPage joined = joinPageWords(page);
    const TextChunks text = TextChunks::fromUtf8(joined.utf8);
    RangeSink sink(text);
    searchText(QString(), text, QStringList{phrase}, caseMode, sink, loose);
    for (const JoinedPage::Span& r : sink.ranges) {
        PageOccurrence boxes;
        for (std::size_t i = 0; i < joined.spans.size(); ++i) {
            const JoinedPage::Span& s = joined.spans[i];
            if (s.end <= r.begin || s.begin >= r.end) continue;
            boxes.push_back(partOf(page.words[i], std::max(r.begin, s.begin) - s.begin,
                                   std::min(r.end, s.end) - s.begin));
        }
        if (!boxes.empty()) found.push_back(std::move(boxes));
    }
    return found;
}

}  // namespace qm
