#pragma once
// The folder walk and file listing behind adding a folder's files and the
// dropping of folders onto the file list. Folder paths in a folder collection
// end in "/".

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "platform/services.h"

namespace qm {

// A folder path of this many bytes or more (trailing "/" included) is kept in
// the collection but not walked further; a name this long is skipped.
inline constexpr int kFolderPathLimit = 4096;
inline constexpr int kNameLimit = 256;

// True when a name cannot be used as a folder name of the walk: it is not
// valid UTF-8, or holds a code point below 32, from 127 to 159, or "?".
bool hasOddCharacters(const QByteArray& name);
bool hasOddCharacters(const QString& name);

// A directory search pattern: "*" any run of characters, "?" one character,
// letter case ignored (each code point lowered on its own). "*" and "*.*"
// match every name.
class FilePattern {
  public:
    explicit FilePattern(const QString& pattern);
    bool matches(const QString& name) const;

  private:
    std::u32string pattern_;
    bool all_ = false;
};

// The part of the folder walk a failure happened in: listing a folder's
// subfolders, or adding a found folder to the collection.
enum class FolderWalkStage { Listing, Collecting };

// Told of every failure the walk goes on after, with the error's description.
using FolderWalkFailure = std::function<void(FolderWalkStage stage, const QString& description)>;

// Appends to `folders` every folder below its entries, level by level: first
// the subfolders of the entries (each folder's by name, letter case ignored
// first), then the folders one level deeper (grouped by parent, parents in the
// order of the level above), and so on when `recurse`. Folders whose names
// begin with "." and symbolic links to folders are neither walked nor listed;
// an entry of `folders` itself is always walked. An entry that cannot be listed
// (no permission, vanished) is removed without a word. Other failures go to
// `failed` (may be empty) and the walk goes on; a folder that failed stays in
// the collection unwalked. Pending events are pumped at every folder.
void walkFolders(QStringList& folders, bool recurse, EventPump* pump,
                 const FolderWalkFailure& failed);

// The names (no folder) of the files in `folder` that match `pattern` and open
// for reading, by name (letter case ignored first, as file managers show
// them). Folders, devices, pipes and sockets are not listed; symbolic links
// count as the file they lead to. Names that are not valid UTF-8 cannot be
// named by the program and are left out. A folder that cannot be read gives
// no names. Never throws.
QStringList listMatchingFiles(const QString& folder, const QString& pattern);

// The file-list entries for one entry of a folder collection: the listed
// files of the folder, except names beginning with "~" or "." (hidden files),
// each as folder + "/" + name with doubled separators collapsed.
QStringList filesToAddFromFolder(const QString& folderEntry, const QString& pattern);

}  // namespace qm
