#pragma once
// The search of a file's texts beside its pages (comments, form fields,
// bookmarks, properties, attached files): each text of a set asked for is
// searched as a text of its own, and its occurrences carry where it came from
// (Hit::other) and its page (none for a property; for an attached text file,
// that of the annotation carrying it, if one does).

#include <QString>
#include <cstddef>

#include "extraction/othertexts.h"
#include "terms/searchoptions.h"

namespace qm {

class SearchSink;

// Searches the texts of `others` whose set is in `options.sources`, in the
// order they were read, until the sink has enough of the file; returns the
// occurrences reported. `enough` tells whether the sink said so.
std::size_t searchOtherTexts(const QString& path, const OtherTexts& others,
                             const SearchOptions& options, SearchSink& sink, bool& enough);

}  // namespace qm
