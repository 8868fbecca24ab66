#pragma once
// Small file and path operations of the extraction run. "/" separates folders.

#include <QString>

namespace qm {

class EventPump;

// The text after the last "/"; the whole path when it has none.
QString FileNameOf(const QString& path);
// The text up to and including the last "/"; empty when it has none.
QString FolderOf(const QString& path);
// For a non-empty name whose last "." is at position 2 or later (1-based): the
// text before that "."; otherwise the name unchanged.
QString StripExtension(const QString& name);

// Copies `source` over `destination` when the source opens as a file and the
// destination's folder exists. Failures are swallowed: callers look for the
// destination file instead.
void CopyFileIfPossible(const QString& source, const QString& destination);

// Pumps pending window events (when a pump is given), then deletes the file;
// a read-only file is made writable and deleted again. Failures are ignored.
void DeleteFileQuietly(const QString& path, EventPump* pump = nullptr);

}  // namespace qm
