// Rows: path, TAB, [page, TAB,] snippet, one line each.
#include <algorithm>

#include "cli/printer.h"
#include "extraction/othertexts.h"
#include "text/display.h"

namespace qm::cli {

namespace {

constexpr const char* kHighlightOn = "\033[01;31m";
constexpr const char* kHighlightOff = "\033[m";

// The snippet of a row as a line shows it: control characters as blanks, and
// with `color` the occurrence (as far as the snippet shows it) highlighted.
QByteArray displaySnippet(const Hit& hit, bool color) {
    const Snippet& s = hit.snippet;
    if (!color) return text::displayText(s.toString()).toUtf8();
    const auto part = [&](std::size_t from, std::size_t to) {
        return text::displayText(
                   QString::fromUtf8(s.text.data() + from, static_cast<qsizetype>(to - from)))
            .toUtf8();
    };
    const auto [a, b] = s.matchBytes(hit.length);
    QByteArray out;
    if (s.leadingMarker) out += kSnippetMarker.data();
    out += part(0, a);
    out += kHighlightOn;
    out += part(a, b);
    out += kHighlightOff;
    out += part(b, s.text.size());
    out += kSnippetMarker.data();
    return out;
}

class RowPrinter : public Printer {
  public:
    RowPrinter(const PrinterSetup& setup) : Printer(setup), color_(setup.color) {}

  protected:
    void row(const Hit& hit) override {
        // A text in an attachment names it after the path.
        appendLeadingPath(hit.other ? pathWithin(hit.path, hit.other->attachment) : hit.path);
        if (options_.pageNumbers) {
            // A text beside the pages may have none (a property, an attached text).
            pending_ += hit.page > 0 ? QByteArray::number(static_cast<qulonglong>(hit.page))
                                     : QByteArray("-");
            pending_ += '\t';
        }
        if (options_.onlyMatching)
            pending_ +=
                text::displayText(QString::fromUtf8(hit.matched.data(),
                                                    static_cast<qsizetype>(hit.matched.size())))
                    .toUtf8();
        else
            pending_ += displaySnippet(hit, color_);
        pending_ += '\n';
    }

  private:
    bool color_;
};

}  // namespace

std::unique_ptr<Printer> makeRowPrinter(const PrinterSetup& setup) {
    return std::make_unique<RowPrinter>(setup);
}

}  // namespace qm::cli
