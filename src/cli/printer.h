#pragma once
// What quillmark-search prints of a run, file by file, in the form the
// options ask for: rows (path, TAB, [page, TAB,] snippet), counts per
// searched file, or the names of the files with matches; as plain lines or
// JSON objects. Each kind has its printer; what they share is here: -m, the
// rows kept for --tsv, and one write of each file's lines.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "cli/cliopts.h"
#include "search/sink.h"

namespace qm::cli {

class Terminal;

// Standard output, written file by file: at once to a terminal; to a pipe or
// a file in blocks, handed over at each flush() (the run's watch calls it
// every tenth of a second, and before anything goes to standard error). A
// reader that went away (a closed pipe) ends the search.
class Output {
  public:
    Output();
    void write(const QByteArray& bytes);
    void flush();
    bool broken() const { return broken_; }
    bool pipeClosed() const { return pipeClosed_; }

  private:
    void failed();
    bool held_;  // not a terminal: lines wait for the next flush
    bool broken_ = false;
    bool pipeClosed_ = false;
};

struct PrinterSetup {
    const CliOptions& options;
    Terminal& terminal;
    Output& out;
    bool quiet = false;  // the text file goes to standard output, so nothing else does
    bool color = false;  // the phrase highlighted in the snippets of rows
};

class Printer : public SearchSink {
  public:
    explicit Printer(const PrinterSetup& setup);

    void beginFile(const QString& path) final;
    SinkAnswer occurrence(const Hit& hit) final;
    void endFile(const QString& path, std::size_t found) final;
    bool mayStopEarly() const final;

    // True once a row has been taken (-q ends the run there).
    bool anyRow() const { return anyRow_; }
    // The rows kept for the text file (path, snippet), in the order found.
    const std::vector<std::pair<QString, QString>>& kept() const { return kept_; }

  protected:
    // Whether rows are kept for the text file.
    bool keepsRows() const { return keep_; }
    // One row of the current file that is printed (not past -m).
    virtual void row(const Hit& hit) { (void)hit; }
    // The current file has been searched; `rows` of it were taken.
    virtual void fileDone(const QString& path, std::size_t rows) {
        (void)path;
        (void)rows;
    }
    // A file with one row is all this printer needs to know of it.
    virtual bool oneRowIsEnough() const { return false; }

    // The path and what follows it; with -0 the path as it is and a NUL instead.
    void appendPath(const QString& path, char after);
    // The same in front of a row or a count, unless -h leaves it out.
    void appendLeadingPath(const QString& path) {
        if (options_.withPath) appendPath(path, '\t');
    }

    const CliOptions& options_;
    QByteArray pending_;  // the current file's lines

  private:
    bool wantsMore() const;

    Terminal& terminal_;
    Output& out_;
    bool quiet_;
    bool keep_;             // rows are kept for the text file
    std::size_t rows_ = 0;  // rows of the current file
    bool anyRow_ = false;
    std::vector<std::pair<QString, QString>> kept_;
};

// A JSON string: quotes, backslashes and control characters escaped.
void appendJsonString(QByteArray& out, const QString& text);
// "path":..., and for a name that is not UTF-8 (whose "path" cannot say it
// byte for byte) "path_bytes": its bytes in base64.
void appendJsonPath(QByteArray& out, const QString& path);

std::unique_ptr<Printer> makeRowPrinter(const PrinterSetup& setup);
std::unique_ptr<Printer> makeCountPrinter(const PrinterSetup& setup);
std::unique_ptr<Printer> makeFilePrinter(const PrinterSetup& setup);
std::unique_ptr<Printer> makeJsonPrinter(const PrinterSetup& setup);
// The printer the options ask for.
std::unique_ptr<Printer> makePrinter(const PrinterSetup& setup);

}  // namespace qm::cli
