#pragma once
// The line-break-tolerant search (--loose). The text and the phrase are both
// brought to one form before a plain byte search: every run of white space
// (blanks, tabs, line ends, page breaks, no-break spaces) becomes one blank,
// ligatures become their letters, soft hyphens and zero-width characters go
// (a soft hyphen with the line end after it joins the word), and ignoring case
// folds case fully (the sharp s is "ss"). The whole text is brought to that
// form at once, so a phrase may straddle chunks; each occurrence is mapped
// back to the place in the original text where it begins, so snippets and
// pages are those of the text as extracted.

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class LooseText {
  public:
    // `text`: valid UTF-8. With `foldAccents`, letters lose their accents
    // (search/fold.h) and non-spacing marks go.
    LooseText(std::string_view text, bool foldCase, bool foldAccents = false);

    const std::string& normal() const { return normal_; }
    // The original byte where the normal form's byte `n` comes from.
    std::size_t toOriginal(std::size_t n) const;
    // The original byte just past what the normal form's bytes before `n` come from.
    std::size_t toOriginalEnd(std::size_t n) const;

  private:
    struct Segment {
        std::size_t normal;    // from this byte of the normal form on
        std::size_t original;  // ... it lines up with this byte of the original
        bool whole;            // the segment stands for one piece of the original as a whole
    };
    std::string normal_;
    std::vector<Segment> segments_;
    friend class LooseBuilder;
};

// A phrase in the normal form (empty when nothing of it is left).
std::string loosePhrase(const QString& phrase, bool foldCase, bool foldAccents = false);

// A text read in pieces: where the normal form stands at the end of a piece,
// which decides how the next piece begins. Inside a run of white space, the
// run goes on; after a soft hyphen, a run with a line end in it joins the word.
enum class LooseCut { Clear, InSpace, AfterSoftHyphen };

// The state at the end of `piece` (valid UTF-8), `before` being the state at its start.
LooseCut looseCutAfter(std::string_view piece, LooseCut before);

// Bytes at the start of `piece` whose normal form, made from the piece alone,
// differs from that of the whole text: the rest of a run that began in an
// earlier piece, or a run that a soft hyphen before it joins away. No
// occurrence begins there.
std::size_t looseBorrowedLead(std::string_view piece, LooseCut before);

// Code points of `piece` (valid UTF-8) that keep one byte at least in the
// normal form (neither white space nor a character that takes no room),
// counted up to `enough`: so many bytes of the normal form at least follow
// the place where the piece begins. With `dropMarks`, non-spacing marks take
// no room either (accents ignored).
std::size_t looseKeptCodePoints(std::string_view piece, std::size_t enough, bool dropMarks = false);

}  // namespace qm
