// Counts: path, TAB, the number of rows, one line per searched file.
#include "cli/printer.h"

namespace qm::cli {

namespace {

class CountPrinter : public Printer {
  public:
    using Printer::Printer;
    bool countsOnly() const override { return !keepsRows(); }

  protected:
    void fileDone(const QString& path, std::size_t rows) override {
        appendLeadingPath(path);
        pending_ += QByteArray::number(static_cast<qulonglong>(rows));
        pending_ += '\n';
    }
};

}  // namespace

std::unique_ptr<Printer> makeCountPrinter(const PrinterSetup& setup) {
    return std::make_unique<CountPrinter>(setup);
}

}  // namespace qm::cli
