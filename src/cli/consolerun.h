#pragma once
// The session's questions, answered from the command line: the progress
// line, the password, the end of a run that -q or a closed pipe has answered,
// and the problems of each file on standard error.

#include <QString>

#include "search/session.h"

namespace qm::cli {

struct CliOptions;
class Output;
class Printer;
class Terminal;

class ConsoleRun : public SessionHost {
  public:
    ConsoleRun(const CliOptions& cli, Terminal& terminal, Output& out, const Printer& printer)
        : cli_(cli), terminal_(terminal), out_(out), printer_(printer) {}

    void fileBegins(int i, int n, const QString& path) override;
    WaitWatch waitWatch(int, int, const QString&) override;
    void passwordNeeded(const QString& path) override;
    void fileSearched(const QString&) override;
    void stageFailed(RunStage, const QString& description) override;
    void patternTooComplex(const QString& path) override;
    void readabilityFailed(const QString& description) override;
    void finished(const SearchSummary& done) override;

    SearchSession* session = nullptr;
    bool trouble = false;  // a file's search failed
    SearchSummary summary;

  private:
    const CliOptions& cli_;
    Terminal& terminal_;
    Output& out_;
    const Printer& printer_;
};

}  // namespace qm::cli
