// How a scanned page is read: the OCR text joined at line-end hyphens.
#include <gtest/gtest.h>

#include "extraction/ocrtext.h"

namespace qm {
namespace {

// Faults caught: a word split at a line's end left in two (a search for it
// misses), a hyphen that belongs to its word dropped, a dash or a capital
// after a hyphen taken for a split word, a chain of splits joined only once.
TEST(OcrText, LineEndHyphensAreJoined) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"it works automat-\nically and well", "it works automatically\nand well"},
        {"automat-\nically.\n\nNext", "automatically.\n\nNext"},
        {"self-\naware, as self-aware goes", "self-aware,\nas self-aware goes"},
        {"from New-\nYork", "from New-\nYork"},
        {"page 3 -\nnext", "page 3 -\nnext"},
        {"an end-\n\nnext", "an end-\n\nnext"},
        {"auto-\nmat-\nically", "automatically"},
        {"Stra\xC3\x9F"
         "en-  \n  bahn f\xC3\xA4hrt",
         "Stra\xC3\x9F"
         "enbahn\nf\xC3\xA4hrt"},
        {"last line-", "last line-"},
    };
    for (const auto& c : cases) EXPECT_EQ(joinLineEndHyphens(c.in), QByteArray(c.out)) << c.in;
}

}  // namespace
}  // namespace qm
