#pragma once
// The command line of quillmark-search:
//   quillmark-search [options] PHRASE PATH...
//   quillmark-search [options] -e PHRASE [-e PHRASE]... PATH...
//   quillmark-search [options] -f LISTFILE PATH...

#include <QString>
#include <QStringList>
#include <vector>

#include "terms/searchoptions.h"
#include "text/sources.h"

namespace qm::cli {

inline constexpr const char* kProgramName = "quillmark-search";

// One phrase source of find-set mode, in command-line order.
struct PhraseSource {
    enum class Kind { Phrase, ListFile };
    Kind kind = Kind::Phrase;
    QString text;  // the phrase, or the path of the list file
};

enum class OutputMode {
    Rows,              // path TAB snippet, one line per row
    Count,             // path TAB number of rows, one line per searched file
    FilesWithMatches,  // path, once per file with a row
};

struct CliOptions {
    QString phrase;                           // single-phrase mode: the phrase
    std::vector<PhraseSource> phraseSources;  // find-set mode when not empty
    QStringList paths;                        // files and folders, as given
    CaseMode caseMode = CaseMode::MatchCase;
    QString extension = QStringLiteral("pdf");  // of the files listed from folders; "*": all
    QString password;                           // given to every file when `hasPassword`
    bool hasPassword = false;
    bool askPassword = false;  // ask on the terminal for each file
    QString tsvPath;           // write the rows in the text file format here
    OutputMode output = OutputMode::Rows;
    bool quiet = false;       // -q: nothing printed; the first match ends the run
    bool noProgress = false;  // --no-progress: no progress line even on a terminal
    bool noMessages = false;  // -s: no reports of files that could not be read
    bool withPath = true;     // -H: the path in rows and counts; -h: without it
    bool help = false;
    bool version = false;
    int jobs = 0;              // text extractors at once (-j N); 0: one per processor
    bool cache = false;        // keep extracted texts between runs (--cache, --no-cache)
    bool clearCache = false;   // empty the store of kept texts first (--clear-cache)
    int timeoutSeconds = 600;  // a file's extraction is ended after this (0: never)
    QString passwordFile;      // its first line is the password for every file
    // Output in the manner of grep, and the search without line breaks.
    enum class Color { Auto, Always, Never };
    Color color = Color::Auto;   // --color: the phrase highlighted in the snippet
    bool pageNumbers = false;    // -n: the page between the path and the snippet
    int maxCount = 0;            // -m N: at most N rows a file; 0: every row
    bool nullAfterPath = false;  // -0: a NUL after the path (and between --files-from paths)
    QStringList filesFrom;       // --files-from FILE: more paths, one a line; "-": standard input
    bool json = false;           // --json: one JSON object a line
    bool loose = false;          // --loose: blanks, line ends, ligatures and soft hyphens tolerated
    bool wholeWords = false;     // -w: no word character right before or after a row
    bool ignoreAccents = false;  // --ignore-accents: é as e, ø as o, ß as ss
    bool regex = false;          // -P: every phrase a Perl-compatible pattern
    bool onlyMatching = false;   // -o: the occurrence's own text instead of the snippet
    bool ocr = false;            // --ocr: scanned pages read with OCR
    QString ocrLanguages;        // --ocr-lang: tesseract's "eng+deu"; empty: the default
    // --all-text, --text-from: the texts searched; the pages' alone by default.
    TextSources sources = kPageText;

    bool findSetMode() const { return !phraseSources.empty(); }
};

struct ParseResult {
    CliOptions options;
    QString error;  // a usage error; empty when the command line is usable
    // Said on standard error before anything runs: an option among the paths
    // that writes a file (a file named "--tsv=x" that a "*" put there).
    QStringList warnings;
    bool ok() const { return error.isEmpty(); }
};

// Parses the arguments after the program name. Short flags may be grouped
// ("-ic"); an option's value may follow it ("-e x", "--ext pdf") or be attached
// ("-ex", "--ext=pdf"); options may come after the paths too; "--" ends the
// options.
ParseResult parseArguments(const QStringList& arguments);

// The text of --help.
QString usageText();
// The line of --version.
QString versionText();

}  // namespace qm::cli
