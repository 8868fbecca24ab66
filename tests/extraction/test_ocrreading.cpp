// How a scanned page is read: the OCR text joined at line-end hyphens.
#include <gtest/gtest.h>

#include "extraction/ocrtext.h"
#include "extraction/scannedpages.h"

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

// Faults caught: a bilevel scan read at the fixed resolution (its jagged
// edges magnified), a grey scan read at its own, the bounds not kept, the
// resolution taken from a logo, a mask or the y-ppi rather than the scan.
TEST(OcrText, ABilevelScanIsReadAtItsOwnResolution) {
    const struct {
        const char* rows;
        std::map<int, int> dpis;
    } cases[] = {
        {"1 0 image 1240 1754 gray 1 1 image no 9 0 150 150 20K 8%", {{1, 150}}},
        {"1 0 image 1240 1754 gray 1 8 image no 9 0 150 150 90K 4%", {}},
        {"2 0 image 4960 7016 gray 1 1 ccitt no 9 0 600 600 90K 2%\n"
         "3 0 image 620 877 gray 1 1 image no 10 0 75 75 9K 9%",
         {{2, 300}, {3, 100}}},
        {"1 0 image 1654 2339 gray 1 1 image no 9 0 200 150 20K 8%", {{1, 200}}},
        {"1 0 image 2 2 gray 1 1 image no 9 0 0 0 12B 100%", {}},
        {"1 0 image 300 100 gray 1 1 image no 9 0 300 300 1K 3%\n"
         "1 1 image 1654 2339 rgb 3 8 jpeg no 10 0 200 200 200K 5%",
         {}},
        {"1 0 image 1654 2339 rgb 3 8 jpeg no 10 0 200 200 200K 5%\n"
         "1 1 smask 1654 2339 gray 1 1 image no 11 0 200 200 1K 0%",
         {}},
    };
    for (const auto& c : cases) EXPECT_EQ(bilevelScanDpis(c.rows), c.dpis) << c.rows;
}

}  // namespace
}  // namespace qm
