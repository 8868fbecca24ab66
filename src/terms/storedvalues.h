#pragma once
// The stored forms of the search options: a choice is kept as "True"/"False"
// (or a number), the password prompt as a whole number.

#include <QString>

namespace qm {

// "True"/"False" in any letter case, or a number (0 false, any other true);
// blanks around the text are ignored. Throws qm::Error naming `key` otherwise.
bool parseStoredBoolean(const QString& key, const QString& text);

// A number rounded to a whole number (halves to the even neighbour); throws
// qm::Error naming `key` when the text is no number or out of range.
int parseStoredWholeNumber(const QString& key, const QString& text);

}  // namespace qm
