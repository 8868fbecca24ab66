#pragma once
// The search of a file's pages' text done by the worker that read it
// (a TextWork): its occurrences are kept, as far as the run's sink reads
// them, and handed to the sink in order on the session's thread. So texts are
// searched on every core while the session only reports; the rows are the
// same, in the same order, as a search on the session's thread gives.

#include <QString>
#include <cstddef>
#include <memory>

#include "extraction/pipeline.h"
#include "terms/searchoptions.h"

namespace qm {

class SearchSink;

// A sink reads at most this many code points of a hit's chunk on each side of
// it (Hit::snippet's source): what a search made ahead keeps of each one.
inline constexpr std::size_t kHitContextKept = 64;

// Searches the pages' text of one file (from memory, from its file on disk,
// or from its cache entry as far as the search goes) and reports to `sink`;
// returns the occurrences reported. Throws what the search throws
// (PatternTooComplex, qm::Error).
std::size_t searchPages(const QString& path, const FileText& text, const SearchOptions& options,
                        SearchSink& sink);

class SearchAhead : public TextWork {
  public:
    // What a file's kept occurrences may take; a file with more (millions of
    // occurrences of a common word) is left to the session's own search,
    // which hands them to the sink as they are found.
    static constexpr std::size_t kKeptBytesBound = std::size_t(8) << 20;

    // `countsOnly`: the sink takes nothing of an occurrence but that it is one.
    SearchAhead(SearchOptions options, bool countsOnly, bool keepsText,
                std::size_t keptBytesBound = kKeptBytesBound);
    bool keepsText() const override { return keepsText_; }
    std::shared_ptr<const WorkedText> work(const QString& path, const FileText& text,
                                           const ChildToken& stop) const override;
    // Null when the file's occurrences would take more than the bound: the
    // text is then handed over as it is.
    // Hands what work() found to `sink`, as searchPages would, until the sink
    // has enough; throws what the search threw after its occurrences.
    static std::size_t replay(const QString& path, const WorkedText& found, SearchSink& sink);

  private:
    SearchOptions options_;
    bool countsOnly_;
    bool keepsText_;
    std::size_t bound_;
};

}  // namespace qm
