#pragma once
// Whether an extracted text can be read, and the sizes the add-time check
// compares.

#include <QString>
#include <cstdint>

namespace qm {

// True when an extracted text file holds fewer than six printable characters
// and at least one non-printable one (code points 32-126 and 160 up are
// printable; line ends are passed over). Throws qm::Error when the file cannot
// be read.
bool isUnreadableText(const QString& textPath);

// A text shorter than this many bytes is reported by the add-time check.
inline constexpr std::int32_t kCheckMinimumSize = 10;

// A file size as the add-time check compares it: the low 32 bits, signed;
// -1 (no text file) stays -1.
std::int32_t lowSize(std::int64_t size);

}  // namespace qm
