#pragma once
// The words both faces say, the window and the command line alike: what a
// file that could not be searched is reported with, the question for a
// file's password, and the answer to an export of nothing. The engine below
// gives outcomes; only the faces put them into words.

#include <QString>
#include <functional>
#include <vector>

#include "extraction/othertexts.h"
#include "extraction/outcome.h"
#include "extraction/textcache.h"
#include "fs/keptattributes.h"
#include "search/engine.h"
#include "search/session.h"

namespace qm {

// The suffixes of a report line "<path><suffix>", one per failure outcome.
inline constexpr const char* kProtectedSuffix = "  - password protected or text is protected.";
inline constexpr const char* kDamagedSuffix = "  - not a PDF file, or the file is damaged.";
inline constexpr const char* kCopyFailedSuffix =
    "  - could not be copied to the temporary folder (disk full?).";
inline constexpr const char* kFailedSuffix = "  - text extraction failed.";
inline constexpr const char* kTimedOutSuffix = "  - text extraction took too long.";
inline constexpr const char* kUnreadableSuffix =
    "  - text unreadable. Please view the file yourself to see if it is really a scanned image "
    "of text and not proper PDF text.";
inline constexpr const char* kNotCopiedSuffix = "  - file not found or could not be read.";

// The suffix of a failure outcome (isFailure); empty for any other.
QString failureSuffix(TextOutcome outcome);

// The line above the report of the pages OCR read with low confidence, and
// the suffix of each one's line ("<path>  - page 7 read by OCR with low
// confidence.").
inline constexpr const char* kWeakOcrHeading =
    "The following pages were read by OCR with low confidence (words may be missed):";
QString weakOcrSuffix(int page);
// The report of the pages OCR read badly, a line each after the heading;
// empty when there is none. `name` gives each path as the face shows it.
QString weakOcrReport(const std::vector<WeakOcrPage>& pages, const QString& lineEnd,
                      const std::function<QString(const QString&)>& name);
// A note on a file's texts beside its pages, after the file's name in a
// report: "  - attachment not searched: image/png (logo.png)".
QString otherNoteSuffix(const OtherNote& note);
inline constexpr const char* kNotesHeading =
    "Some texts of these files beside their pages were not searched:";

// The line above the report of the files that could not be searched.
inline constexpr const char* kFailuresHeading = "The following files could not be read:";
// Said once in that report, instead of calling each file protected, when the
// text extractor could not be run.
inline constexpr const char* kExtractorMissingReport =
    "The text extractor \"pdftotext\" was not found, so no file could be read. Please install "
    "the package poppler-utils (sudo apt install poppler-utils).";

// The question for a file's password when the search options ask for one.
QString passwordPrompt(const QString& path);

// The line above the report of what a folder walk could not read, and the
// reason of one path in it (the system's error number; ENAMETOOLONG: the path
// is longer than the system takes; ELOOP: a link that leads back above itself).
inline constexpr const char* kWalkProblemsHeading = "These folders or files could not be read:";
QString walkProblemReason(int error);

// What is said once when the disk cache's folder is not used, and why.
QString cacheFolderRefusedText(const QString& folder, CacheFolderRefusal refusal, int error);

// What stands in the way of a search (search/engine.h), as both faces say it;
// empty for what a face says in words of its own (no work folder: the
// platform's words; tesseract not answering in the window: ocrNotAnsweringText).
QString searchProblemText(const SearchProblem& problem);
// A file where a pattern backtracked without end (PCRE2's limits); its search stopped there.
QString patternTooComplexText(const QString& path);
// The window's word for a tesseract that is there but did not answer.
QString ocrNotAnsweringText(const QString& tesseract);

// What is said of a phrase list that holds no phrase (empty, or blank lines
// only): `list` names it ("/home/u/list.txt", "on standard input").
QString noPhraseInListText(const QString& list);

// The answer to saving a results list without rows, and to copying one.
inline constexpr const char* kNoResultsToSave = "There are no results to save.";
inline constexpr const char* kNoResultsToCopy = "There are no results to copy.";

// The warning after a save over a file whose owner, group, mode or access
// list the new file could not keep; empty when it kept them all.
QString attributesNotKeptText(const QString& path, const fs::LostAttributes& lost);

}  // namespace qm
