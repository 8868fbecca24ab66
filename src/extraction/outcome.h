#pragma once
// What became of one file's extraction: the one outcome the pipeline gives,
// the text cache keeps and a search run reports. The faces turn it into the
// words the user reads.

#include <cstdint>

namespace qm {

// The first four belong to the file's content and are the only ones the text
// cache keeps; their values are written into the cache's files on disk and
// never change.
enum class TextOutcome : std::uint8_t {
    Text = 1,        // readable text
    Protected = 2,   // the file needs a password, or forbids copying its text
    Unreadable = 3,  // the text holds no readable characters (a scanned image)
    Damaged = 4,     // the extractor cannot open it, and no password would help
    NotCopied,       // the file could not be copied (gone, unreadable, not a regular file)
    CopyFailed,      // the copy could not be written (the work folder is full)
    Failed,          // the extractor failed otherwise (a signal, a crash, no room for the text)
    TimedOut,        // the extraction reached its time limit and was ended
    Stopped,         // a stop was asked for while the file was being extracted
    Ended,           // the extraction was ended (the program is closing)
};

// True for the outcomes of a file whose text could not be searched and that a
// run reports: false for a text, a stop and an end.
constexpr bool isFailure(TextOutcome outcome) {
    return outcome != TextOutcome::Text && outcome != TextOutcome::Stopped &&
           outcome != TextOutcome::Ended;
}

// True for the outcomes the text cache keeps (those of the file's content).
constexpr bool isContentOutcome(TextOutcome outcome) {
    return outcome == TextOutcome::Text || outcome == TextOutcome::Protected ||
           outcome == TextOutcome::Unreadable || outcome == TextOutcome::Damaged;
}

}  // namespace qm
