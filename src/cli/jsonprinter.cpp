// JSON: one object a line; a row's path, page (and with --ocr whether OCR
// read it), phrase and snippet, a file's path and count (-c), or the path of
// a file with matches (-l). A path that is not UTF-8 comes with its bytes
// ("path_bytes").
#include "cli/printer.h"

namespace qm::cli {

namespace {

class JsonPrinter : public Printer {
  public:
    using Printer::Printer;

  protected:
    bool oneRowIsEnough() const override { return options_.output == OutputMode::FilesWithMatches; }
    void row(const Hit& hit) override {
        if (options_.output != OutputMode::Rows) return;
        pending_ += '{';
        appendJsonPath(pending_, hit.path);
        pending_ += ",\"page\":" + QByteArray::number(static_cast<qulonglong>(hit.page));
        // With --ocr, whether the page was read by OCR.
        if (options_.ocr) pending_ += hit.ocr ? ",\"ocr\":true" : ",\"ocr\":false";
        pending_ += ",\"phrase\":";
        appendJsonString(pending_, hit.phraseText);
        pending_ += ",\"snippet\":";
        appendJsonString(pending_, hit.snippet.toString());
        pending_ += ",\"match\":";
        appendJsonString(pending_, QString::fromUtf8(hit.matched.data(),
                                                     static_cast<qsizetype>(hit.matched.size())));
        pending_ += "}\n";
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
