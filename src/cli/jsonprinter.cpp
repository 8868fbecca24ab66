// JSON: one object a line; a row's path, page (and with --ocr whether OCR
// read it, and its confidence), phrase and snippet, a file's path and count (-c), or the path of
// a file with matches (-l). A path that is not UTF-8 comes with its bytes
// ("path_bytes"). With texts beside the pages, a row says where it was found.
#include "cli/printer.h"
#include "extraction/othertexts.h"

namespace qm::cli {

namespace {

// The set a row was found in, by its --text-from name.
const char* sourceName(const Hit& hit) {
    if (!hit.other) return "pages";
    switch (setOf(*hit.other)) {
        case TextSource::Comments:
            return "comments";
        case TextSource::Forms:
            return "forms";
        case TextSource::Bookmarks:
            return "bookmarks";
        case TextSource::Properties:
            return "properties";
        case TextSource::Attachments:
            return "attachments";
        case TextSource::Pages:
            break;
    }
    return "pages";
}

class JsonPrinter : public Printer {
  public:
    using Printer::Printer;

  protected:
    bool oneRowIsEnough() const override { return options_.output == OutputMode::FilesWithMatches; }
    void row(const Hit& hit) override {
        if (options_.output != OutputMode::Rows) return;
        pending_ += '{';
        appendJsonPath(pending_, hit.path);
        pending_ +=
            ",\"page\":" + (hit.page > 0 ? QByteArray::number(static_cast<qulonglong>(hit.page))
                                         : QByteArray("null"));
        // With texts beside the pages, where the row was found.
        if (beyondPages(options_.sources)) appendSource(hit);
        // With --ocr, whether the page was read by OCR.
        if (options_.ocr) pending_ += hit.ocr ? ",\"ocr\":true" : ",\"ocr\":false";
        // And how sure the reader was of the page's words, when known.
        if (hit.ocr && hit.ocrConfidence >= 0)
            pending_ += ",\"ocr_confidence\":" + QByteArray::number(hit.ocrConfidence);
        pending_ += ",\"phrase\":";
        appendJsonString(pending_, hit.phraseText);
        pending_ += ",\"snippet\":";
        appendJsonString(pending_, hit.snippet.toString());
        pending_ += ",\"match\":";
        appendJsonString(pending_, QString::fromUtf8(hit.matched.data(),
                                                     static_cast<qsizetype>(hit.matched.size())));
        pending_ += "}\n";
    }
    // "source", and a field's or property's name ("field") and the attachment
    // it lies in ("attachment", outermost first, joined by " » ") where they apply.
    void appendSource(const Hit& hit) {
        pending_ += ",\"source\":\"";
        pending_ += sourceName(hit);
        pending_ += '"';
        if (!hit.other) return;
        if (!hit.other->name.isEmpty()) {
            pending_ += ",\"field\":";
            appendJsonString(pending_, hit.other->name);
        }
        if (!hit.other->attachment.isEmpty()) {
            pending_ += ",\"attachment\":";
            appendJsonString(pending_, hit.other->attachment.join(QStringLiteral(" \u00bb ")));
        }
    }
    void fileDone(const QString& path, std::size_t rows) override {
        switch (options_.output) {
            case OutputMode::Rows:
                return;
            case OutputMode::Count:
                pending_ += '{';
                appendJsonPath(pending_, path);
                pending_ += ",\"count\":" + QByteArray::number(static_cast<qulonglong>(rows));
                pending_ += "}\n";
                return;
            case OutputMode::FilesWithMatches:
                if (rows == 0) return;
                pending_ += '{';
                appendJsonPath(pending_, path);
                pending_ += "}\n";
                return;
        }
    }
};

}  // namespace

std::unique_ptr<Printer> makeJsonPrinter(const PrinterSetup& setup) {
    return std::make_unique<JsonPrinter>(setup);
}

}  // namespace qm::cli
