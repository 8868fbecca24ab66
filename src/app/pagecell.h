#pragma once
// What a result row found beside the pages' text shows: the Page column says
// where it was found ("3 · comment", "— · title", "appendix.pdf p. 2"), and
// the path names the attachment after the file ("report.pdf » appendix.pdf").

#include "extraction/othertexts.h"
#include "results/resultrows.h"

namespace qm {

// Fills `row` (its path and page those of the hit) for a text found in `text`:
// its Page column, its shown path, and no page to open at for a text inside
// an attachment (the file opens at its start).
void describeSource(ResultRow& row, const OtherText& text);

}  // namespace qm
