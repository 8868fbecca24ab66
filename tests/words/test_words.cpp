// The words both faces say, pinned letter for letter: every expectation is
// written out here, never built from the constants it checks, so a changed
// letter in a text the user reads fails here.
#include <gtest/gtest.h>

#include "words/words.h"

namespace qm {
namespace {

struct OutcomeWords {
    TextOutcome outcome;
    bool failure;        // reported after a run
    const char* suffix;  // of its report line
};

TEST(Words, EveryOutcomeHasItsOwnSuffix) {
    const OutcomeWords table[] = {
        {TextOutcome::Text, false, ""},
        {TextOutcome::Stopped, false, ""},
        {TextOutcome::Ended, false, ""},
        {TextOutcome::Protected, true, "  - password protected or text is protected."},
        {TextOutcome::Damaged, true, "  - not a PDF file, or the file is damaged."},
        {TextOutcome::CopyFailed, true,
         "  - could not be copied to the temporary folder (disk full?)."},
        {TextOutcome::Failed, true, "  - text extraction failed."},
        {TextOutcome::TimedOut, true, "  - text extraction took too long."},
        {TextOutcome::Unreadable, true,
         "  - text unreadable. Please view the file yourself to see if it is really a scanned "
         "image of text and not proper PDF text."},
        {TextOutcome::NotCopied, true, "  - file not found or could not be read."},
    };
    for (const OutcomeWords& row : table) {
        const int value = static_cast<int>(row.outcome);
        EXPECT_EQ(isFailure(row.outcome), row.failure) << "outcome " << value;
        EXPECT_EQ(failureSuffix(row.outcome).toStdString(), std::string(row.suffix))
            << "outcome " << value;
    }
}

TEST(Words, PromptHeadingAndEmptyExport) {
    EXPECT_EQ(passwordPrompt(QStringLiteral("/d/ö.pdf")).toStdString(),
              std::string("Enter password for file (/d/ö.pdf): \r\n"
                          "Note: Leave this box blank if file is not password protected"));
    EXPECT_STREQ(kFailuresHeading, "The following files could not be read:");
    EXPECT_STREQ(kNoResultsToSave, "There are no results to save.");
}

}  // namespace
}  // namespace qm
