#pragma once
// Path helpers shared by the whole program. "/" separates folders.

#include <QString>

namespace qm {

// Collapses doubled separators left to right without overlap ("//" -> "/",
// "///" -> "//", "////" -> "//"); a leading run of separators becomes one "/".
QString FixDoubleBackslashes(const QString& path);

// The path names an existing file that is not a folder and opens for reading.
bool FileExists(const QString& path);
// The path names an existing folder.
bool FolderExists(const QString& path);
// The path's status (modification time) can be read: an existing file or folder.
bool PathExists(const QString& path);

}  // namespace qm
