#pragma once
// What quillmark-search searches, gathered from the command line, list files
// and standard input: the phrases, the files, the password. Each gatherer
// reports its trouble on the terminal and returns false.

#include <QString>
#include <QStringList>

#include "cli/cliopts.h"

namespace qm {
class MessageBoxes;
struct Services;
}  // namespace qm

namespace qm::cli {

class Terminal;

// The find-set list of the command line: phrases and list files in the order
// given. False, with a message, when a list cannot be read or when the lists
// hold no phrase and nothing else was given.
bool collectPhrases(const CliOptions& options, Terminal& terminal, QStringList& phrases);

// The paths of --files-from appended to `paths`: one a line (a CR before the
// LF is dropped), or NUL-separated with -0; empty entries are skipped.
bool readFilesFrom(const CliOptions& options, QStringList& paths, Terminal& terminal);

// The file list: a file as given, a folder with every matching file below it,
// listed as "Add All PDF File(s) In Folder" lists them. False when a folder or
// file below a named folder could not be read (each is named on
// standard error, unless -s).
bool collectFiles(const CliOptions& options, const QStringList& paths, Terminal& terminal,
                  QStringList& list);

// The one-line password a password file (or a pipe, a descriptor) holds;
// false, with a message, when it cannot be read or holds more than one line.
bool readPasswordFile(const QString& path, Terminal& terminal, QString& password);

}  // namespace qm::cli
