#pragma once
// The find-set list: its stored form under "FindSets" and the loading of
// phrase list files (one phrase per line).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

#include "platform/services.h"

namespace qm {

// The separator written before every entry of the stored list.
inline constexpr const char* kFindSetSeparator = "::";
// The list holds at most this many entries.
inline constexpr int kMaxFindSets = 32767;
// A list file of more bytes than this is refused as a list too long to hold
// (room for every entry at 512 bytes each), before it is read into memory.
inline constexpr std::int64_t kMaxListFileBytes = std::int64_t(kMaxFindSets) * 512;
// The message of a list that cannot grow any more.
QString findSetsFullMessage();

// The stored form: every entry preceded by "::", nothing else; an empty list
// gives the empty text. A list that this form would not give back as it is
// (an entry holding "::", or beginning or ending with ":") is stored in the
// escaped form instead: "%", then every entry preceded by "::" with each "%"
// written "%25" and each ":" written "%3A".
QString joinFindSets(const QStringList& entries);

// The entries of a stored text. The escaped form (beginning with "%") gives
// back every entry as it was (empty pieces left out); any other text is split at every "::", its
// non-empty pieces kept in order, as the list has always been read.
QStringList splitFindSets(const QString& stored);

// True when a line is made of blanks (spaces or tabs) only, or is empty.
bool isBlankLine(const QString& line);

// Appends the usable lines of a list file to `list`: every line that holds more
// than blanks, as it stands (its blanks kept). A path that does not exist adds
// nothing and gives false (the caller says so). Throws
// qm::Error when the file cannot be read (a FIFO or a device is never read),
// when it is larger than kMaxListFileBytes (nothing is added), or when the list
// would grow past kMaxFindSets entries (the lines before that point are kept).
[[nodiscard]] bool loadPhraseList(QStringList& list, const QString& path);
// The lines of a phrase list's bytes (`name`: the list's, for the refusal):
// UTF-16 (little or big end first) when they begin with its byte-order mark,
// else UTF-8 with the Latin-1 fallback, a UTF-8 byte-order mark skipped.
// Throws qm::Error for bytes with a NUL and no mark (UTF-16 without one, or
// no text at all): read as UTF-8 they would hold no phrase that matches.
QStringList phraseListLines(const std::string& bytes, const QString& name);
// Appends the usable lines (more than blanks) of a phrase list to `list`;
// throws qm::Error once the list would grow past kMaxFindSets entries.
void appendPhraseLines(QStringList& list, const QStringList& lines);

// The open dialogs (files to search, phrase list files) hand a selection back
// in one text of at most this many characters; a larger selection is refused
// as a whole.
inline constexpr qsizetype kDialogBufferLength = 30000;

// The length of the text an open dialog returns for a selection: for one file
// its path; for several the folder, then each name, joined by single NUL
// characters. Characters are UTF-16 code units, as QString and the dialog's
// text buffer count them: a character outside the Basic Multilingual Plane
// (a surrogate pair) counts twice.
qsizetype dialogSelectionLength(const QStringList& chosen);

// The paths to load for a selection: one file as chosen; for several, the
// folder and each name joined by "/" with doubled separators collapsed
// (fs::collapseSlashes).
QStringList pathsToLoad(const QStringList& chosen);

}  // namespace qm
