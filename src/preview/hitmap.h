#pragma once
// Where a phrase stands on a page: the page's words joined into its text as
// the extractor joins them (pagewords.h), searched by the search itself (the
// same case and line-break rules), each occurrence turned into boxes on the
// page. So the n-th occurrence found here is the n-th the search found on
// that page.

#include <QRectF>
#include <QString>
#include <vector>

#include "preview/pagewords.h"
#include "terms/searchoptions.h"

namespace qm {

// One occurrence: a box per word it covers (part of a word: that share of its
// box), in reading order; one occurrence over a line end has two or more.
using PageOccurrence = std::vector<QRectF>;

// Every occurrence of `phrase` on `page`, in the order the search finds them.
std::vector<PageOccurrence> findOnPage(const PageWords& page, const QString& phrase,
                                       CaseMode caseMode, bool loose);

}  // namespace qm
