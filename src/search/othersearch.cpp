#include "search/othersearch.h"

#include "search/searcher.h"
#include "search/sink.h"
#include "text/textfile.h"

namespace qm {

namespace {

// Hands occurrences on, each told where its text came from and its page.
class OtherMarks : public SearchSink {
  public:
    explicit OtherMarks(SearchSink& sink) : sink_(sink) {}
    const OtherText* text = nullptr;
    bool enough = false;
    SinkAnswer occurrence(const Hit& hit) override {
        Hit marked = hit;
        marked.other = text;
        marked.ocr = false;
        // An attached text has no page of its own: that of the file carrying it, if any.
        const bool attachedText = text->source == TextSource::Pages && text->page == 0;
        const int page = attachedText ? text->carrier : text->page;
        if (page != kPagesFromText) marked.page = static_cast<std::size_t>(page);
        const SinkAnswer a = sink_.occurrence(marked);
        enough = enough || a == SinkAnswer::Enough;
        return a;
    }

  private:
    SearchSink& sink_;
};

}  // namespace

std::size_t searchOtherTexts(const QString& path, const OtherTexts& others,
                             const SearchOptions& options, SearchSink& sink, bool& enough) {
    OtherMarks marks(sink);
    std::size_t found = 0;
    const QStringList phrases = options.phrases();
    for (const OtherText& t : others.texts) {
        if (!has(options.sources, setOf(t))) continue;
        marks.text = &t;
        found += searchText(path, TextChunks::fromUtf8(t.text), phrases, options.caseMode, marks,
                            options.loose);
        if (marks.enough) break;
    }
    enough = marks.enough;
    return found;
}

}  // namespace qm
