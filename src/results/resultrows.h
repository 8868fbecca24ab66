#pragma once
// The rows of a results list as plain data: one row per occurrence (file
// path, snippet, page, phrase, and the tick only the user sets). The exports
// take rows; the window's Qt model (ResultsList) and the command line's --tsv
// both hand theirs over. Rows count from 0.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace qm {

// Where, in a row's context (UTF-8 bytes), its snippet and its occurrence lie.
// Where, in a row's context (UTF-8 bytes, at most kMaxContextBytes), its
// snippet and its occurrence lie.
struct ContextSpans {
    static constexpr int kMaxContextBytes = 0xffff;
    std::uint16_t snippetFrom = 0, snippetTo = 0;  // the snippet's text, without its markers
    std::uint16_t matchFrom = 0, matchTo = 0;      // the occurrence
    bool leadingMarker = false;                    // the snippet begins with "..."
};

struct ResultRow {
    static const QString& noText() {
        static const QString none;
        return none;
    }
    QString path;     // column 0, "Results (File)"
    QString snippet;  // column 1, " Where"; may be empty; see text()
    bool checked = false;
    // Kept for opening the file where the occurrence is; never exported.
    int page = 0;    // 1-based; 0 when not known
    QString phrase;  // the phrase that found it
    // Where the snippet shows the occurrence (UTF-16 units); -1 when not known.
    int matchAt = -1;
    int matchLength = 0;
    // A longer stretch of the text around the occurrence, as found (UTF-8),
    // for a view that has room for it; empty when the row has none. A row with
    // one keeps no snippet of its own: the snippet is cut from it (snippetText).
    QByteArray context;
    ContextSpans spans;
    // For a row found beside the pages' text: what column 0 shows and the
    // exports write instead of `path` (the attachment it lies in named after
    // it: "report.pdf » appendix.pdf"), and what the Page column shows ("3 ·
    // comment"). None: `path`, and the page number. Shared, so that a row
    // of the pages' text pays one pointer for it.
    struct Place {
        QString shownPath;
        QString where;
    };
    std::shared_ptr<const Place> place;
    const QString& shownPath() const { return place ? place->shownPath : noText(); }
    const QString& where() const { return place ? place->where : noText(); }
    // The path as column 0 shows it.
    const QString& pathShown() const {
        return place && !place->shownPath.isEmpty() ? place->shownPath : path;
    }

    bool hasContext() const { return !context.isEmpty(); }
    // The snippet as exported: "..." + its text + "...", as it was found.
    QString snippetText() const {
        if (!hasContext()) return snippet;
        const QString marker = QStringLiteral("...");
        return (spans.leadingMarker ? marker : QString()) +
               QString::fromUtf8(context.constData() + spans.snippetFrom,
                                 spans.snippetTo - spans.snippetFrom) +
               marker;
    }
    // The raw text of column 0 or 1.
    QString text(int column) const {
        if (column == 0) return pathShown();
        return snippetText();
    }
};

class ResultRows {
  public:
    static constexpr int kColumnCount = 2;
    // The title of column 0 or 1; throws qm::Error for any other.
    static QString columnTitle(int column);

    int count() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }
    // Row `r` (0 to count() - 1). Throws qm::Error for any other number, so a
    // reader that lets other work run between rows notices rows cleared
    // meanwhile. The reference holds until the rows next change.
    const ResultRow& row(int r) const;
    ResultRow& row(int r);

    void append(ResultRow row) { rows_.push_back(std::move(row)); }
    void append(const QString& path, const QString& snippet, int page = 0,
                const QString& phrase = QString()) {
        ResultRow row;
        row.path = path;
        row.snippet = snippet;
        row.page = page;
        row.phrase = phrase;
        rows_.push_back(std::move(row));
    }
    void append(std::vector<ResultRow>& more);  // moves them over
    void clear() { rows_.clear(); }

  private:
    std::vector<ResultRow> rows_;
};

}  // namespace qm
