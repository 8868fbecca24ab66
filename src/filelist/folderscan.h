#pragma once
// The folder walk and file listing behind adding a folder's files and the
// dropping of folders onto the file list. Folder paths in a folder collection
// end in "/".

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

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

// A folder or file under a walked folder that could not be read, with the
// reason as the system's error number (ENAMETOOLONG: a path of
// kFolderPathLimit bytes or more).
struct WalkProblem {
    QString path;
    int error = 0;
    bool operator==(const WalkProblem&) const = default;
};
using WalkProblems = std::vector<WalkProblem>;

// Appends to `folders` every folder below its entries, level by level: first
// the subfolders of the entries (each folder's by name, letter case ignored
// first), then the folders one level deeper (grouped by parent, parents in the
// order of the level above), and so on when `recurse`. Folders whose names
// begin with "." are neither walked nor listed; an entry of `folders` itself
// is always walked. A symbolic link to a folder is walked and listed as a
// folder of its name; each real folder (device and inode) is walked once: a
// link to a folder met before is passed over, and one that leads back to a
// folder that holds it (a loop) is named in `problems` with ELOOP. Any other name is walked as
// it is: names are never patterns, and bytes that are not UTF-8 are kept
// (fs::decodeName). An entry that cannot be listed is removed: one that
// vanished without a word, one without permission, or whose path is longer
// than the system takes, named in `problems` (may be null) with its reason.
// Other failures go to `failed` (may be empty) and the walk goes on; a folder
// that failed stays in the collection unwalked. `visiting` (may be empty) is
// called before each folder is listed and before each found folder is
// collected. Nothing here waits for or pumps events: the window walks on a
// thread of its own (`failed` and `visiting` are then called on that thread).
void walkFolders(QStringList& folders, bool recurse, const FolderWalkFailure& failed,
                 WalkProblems* problems = nullptr, const std::function<void()>& visiting = {});

// The names (no folder) of the files in `folder` that match `pattern` and open
// for reading, by name (letter case ignored first, as file managers show
// them). Folders, devices, pipes and sockets are not listed; symbolic links
// count as the file they lead to. Names that are not valid UTF-8 keep their
// bytes (fs::decodeName). A folder that cannot be read gives no names. A file
// that matches but cannot be opened (no permission), or whose path is longer
// than the system takes, is not listed but goes to `problems` (may be null)
// as its path and reason. Never throws.
QStringList listMatchingFiles(const QString& folder, const QString& pattern,
                              WalkProblems* problems = nullptr);

// The file-list entries for one entry of a folder collection: the listed
// files of the folder, except names beginning with "~" or "." (hidden files),
// each as folder + "/" + name with doubled separators collapsed. Files that
// could not be listed go to `problems` (may be null), hidden ones excepted.
QStringList filesToAddFromFolder(const QString& folderEntry, const QString& pattern,
                                 WalkProblems* problems = nullptr);

}  // namespace qm
