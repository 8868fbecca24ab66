// Files with matches: each file with a row, once; its first row is all it takes.
#include "cli/printer.h"

namespace qm::cli {

namespace {

class FilePrinter : public Printer {
  public:
    using Printer::Printer;

  protected:
    bool oneRowIsEnough() const override { return true; }
    void fileDone(const QString& path, std::size_t rows) override {
        if (rows > 0) appendPath(path, '\n');
    }
};

}  // namespace

std::unique_ptr<Printer> makeFilePrinter(const PrinterSetup& setup) {
    return std::make_unique<FilePrinter>(setup);
}

}  // namespace qm::cli
