// What the programs that read scanned pages say, on any bytes: tesseract's
// text of a page made fit for the page, pdfimages' listing and tesseract's
// list of languages parsed, and page texts spliced into a text file.
//
// Input: the bytes, read as each of the three outputs and as the text file.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>

#include "extraction/ocr.h"
#include "extraction/ocrtext.h"
#include "extraction/scannedpages.h"
#include "fuzzsupport.h"

namespace {

using qm::fuzz::require;

bool validUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QByteArray page = qm::cleanOcrText(raw);
    require(validUtf8(page), "a page's text is valid UTF-8");
    require(!page.contains('\f'), "a page's text holds no page break");
    require(qm::cleanOcrText(page) == page, "a clean text stays as it is");

    const std::vector<int> pages = qm::parseImagePages(raw);
    require(std::is_sorted(pages.begin(), pages.end()), "image pages in order");
    require(std::adjacent_find(pages.begin(), pages.end()) == pages.end(), "each page once");
    require(std::all_of(pages.begin(), pages.end(), [](int p) { return p > 0; }),
            "pages count from 1");
    const std::vector<int> sized =
        qm::parseImagePages(raw, {{1, {595.28, 841.89}}, {2, {1e9, 1e9}}});
    require(std::includes(pages.begin(), pages.end(), sized.begin(), sized.end()),
            "page sizes only leave pages out");

    QStringList languages = qm::parseInstalledLanguages(raw);
    require(!languages.contains(QStringLiteral("osd")), "the script detector is no language");
    for (const QString& l : languages) require(!l.isEmpty() && !l.contains(u'+'), "a plain code");
    require(languages.removeDuplicates() == 0, "each language once");

    // Pages 1 and 3 of the text replaced: every other page and every page
    // break stay where they were.
    const QString text = qm::fuzz::writeScratch("text", data, size);
    const QString out = qm::fuzz::scratchFolder() + QStringLiteral("/spliced");
    const std::map<int, QByteArray> texts{{1, QByteArrayLiteral("one")},
                                          {3, QByteArrayLiteral("three")}};
    require(qm::spliceOcrTexts(text, texts, out), "a readable text is spliced");
    QFile f(out);
    require(f.open(QIODevice::ReadOnly), "the spliced text is there");
    const QList<QByteArray> before = raw.split('\f');
    const QList<QByteArray> after = f.readAll().split('\f');
    require(before.size() == after.size(), "as many page breaks as before");
    for (qsizetype k = 0; k < before.size(); ++k) {
        const auto replaced = texts.find(static_cast<int>(k) + 1);
        require(after[k] == (replaced == texts.end() ? before[k] : replaced->second),
                "each page is its replacement or itself");
    }
    return 0;
}
