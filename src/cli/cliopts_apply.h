#pragma once
// The options of quillmark-search one by one: their names and what each does
// to CliOptions (parseArguments, in cliopts.cpp, walks the arguments).

#include <QChar>
#include <QString>
#include <map>

#include "cli/cliopts.h"

namespace qm::cli::options {

enum class Id {
    IgnoreCase,
    Phrase,
    ListFile,
    Ext,
    Password,
    AskPassword,
    Tsv,
    Count,
    FilesWithMatches,
    Quiet,
    Help,
    Version,
    Jobs,
    Cache,
    NoCache,
    ClearCache,
    Timeout,
    PasswordFile,
    Color,
    PageNumber,
    MaxCount,
    Null,
    FilesFrom,
    Json,
    Loose,
    WordRegexp,
    IgnoreAccents,
    PerlRegexp,
    OnlyMatching,
    NoProgress,
    NoMessages,
    WithPath,
    NoPath,
    Ocr,
    OcrLang,
    AllText,
    TextFrom,
};

struct OptionSpec {
    Id id;
    bool takesValue;
    bool valueOptional = false;  // "--color" alone, or "--color=WHEN"
};

const std::map<QString, OptionSpec>& longOptions();
const std::map<QChar, OptionSpec>& shortOptions();
// Applies one option; returns an error text or an empty one. `countSeen` and
// `listSeen` tell -c and -l apart when both are given.
QString apply(CliOptions& o, Id id, const QString& value, bool& countSeen, bool& listSeen);

}  // namespace qm::cli::options
