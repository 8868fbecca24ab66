#pragma once
// File and path helpers shared by the whole program. "/" separates folders.
// The tests among them answer with a value and never throw.

#include <QByteArray>
#include <QString>
#include <functional>

#include "text/names.h"

namespace qm::fs {

// A path's bytes and its text, kept byte for byte (text/names.h).
using text::decodeName;
using text::encodeName;
using text::holdsRawBytes;

// Collapses doubled separators left to right without overlap ("//" -> "/",
// "///" -> "//", "////" -> "//"); a leading run of separators becomes one "/".
QString collapseSlashes(const QString& path);

// The path names a regular file (or a link to one); read access is not
// needed. A folder, a FIFO, a device or a socket is never a file here, and
// nothing but a file is ever opened for reading: such a path could block the
// reader or never end.
bool isFile(const QString& path);
// The path names an existing folder.
bool isFolder(const QString& path);
// The path's status (modification time) can be read: an existing file or folder.
bool exists(const QString& path);

// A path cut at its last "/": the folder before it ("/" for a name in the
// root, empty when the path has no "/") and the name after it (the whole path
// when it has no "/", empty when it ends in "/"). The folder never ends in "/"
// unless it is the root, as the open dialogs name the folder of a selection.
struct FolderAndName {
    QString folder;
    QString name;
};
FolderAndName splitPath(const QString& path);

// The text after the last "/"; the whole path when it has none.
QString fileName(const QString& path);
// The text up to and including the last "/" (the path without its name);
// empty when it has none.
QString folderOf(const QString& path);

// What became of a copy.
enum class CopyResult {
    Copied,
    SourceUnreadable,  // no such file, not a regular file, or it cannot be read
    WriteFailed,       // the copy could not be written (disk full, no room, no folder)
    Cancelled,         // `cancelled` said so between two pieces of the copy
};
// Copies `source` over `destination` (owner-only) when the source is a file and
// the destination's folder exists, telling why a copy was not made. A copy that
// fails half way is removed. `cancelled`, when given, is asked between pieces
// of the copy (a few MiB each), so a large copy can be ended at once; the piece
// written so far is removed.
CopyResult copyFileReporting(const QString& source, const QString& destination,
                             const std::function<bool()>& cancelled = {});

// Deletes the file; a read-only file is made writable and deleted again.
// Failures are ignored.
void removeQuietly(const QString& path);

}  // namespace qm::fs
