#pragma once
// The folder walk and file listing behind "Add All PDF File(s) In Folder" and
// the dropping of folders onto the file list. Folder paths in a folder
// collection end in "/".

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>

#include "platform/services.h"

namespace qm {

// Location stamp and module of the walk's own error report.
inline constexpr const char* kFolderWalkStamp = "OrvenTitle2021/08/31";
inline constexpr const char* kFolderWalkObject = "AddFolder";

// A folder path of this many bytes or more (trailing "/" included) is kept in
// the collection but not walked further; a name this long is skipped.
inline constexpr int kFolderPathLimit = 4096;
inline constexpr int kNameLimit = 256;

// True when a name cannot be used as a folder name of the walk: it is not
// valid UTF-8, or holds a code point below 32, from 127 to 159, or "?".
bool HasOddCharacters(const QByteArray& name);
bool HasOddCharacters(const QString& name);

// True when the bytes form valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const char* data, std::size_t size);

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

// The folder-browse dialog: the chosen folder, or an empty text when cancelled.
QString BrowseForFolder(FileDialogs& dialogs, const QString& title, const QString& initialFolder);

// Appends to `folders` every folder below its entries, level by level: first
// the subfolders of the entries (each folder's by name, letter case ignored
// first), then the folders one level deeper (grouped by
// parent, parents in the order of the level above), and so on when `recurse`.
// Folders whose names begin with "." and symbolic links to folders are neither
// walked nor listed; an entry of `folders` itself is always walked. An entry
// that cannot be listed (no permission, vanished) is removed without a message.
// Other failures are reported at "OrvenTitle2021/08/31.AddFolder.GetSubDirectories2016"
// and the walk goes on. Pending events are pumped at every folder.
void GetSubDirectories2016(Services& services, QStringList& folders, bool recurse);

// The names (no folder) of the files in `folder` that match `pattern` and open
// for reading, by name (letter case ignored first, as file managers show them). Folders, devices,
// pipes and sockets are not listed; symbolic links count as the file they lead to. Names that are
// not valid UTF-8 cannot be named by the program and are left out. A folder
// that cannot be read gives no names. Never throws.
QStringList ListFilesInFolder(const QString& folder, const QString& pattern);

// The file-list entries for one entry of a folder collection: the listed
// files of the folder, except names beginning with "~" or "." (hidden files),
// each as folder + "/" + name passed through FixDoubleBackslashes.
QStringList FilesToAddFromFolder(const QString& folderEntry, const QString& pattern);

}  // namespace qm
