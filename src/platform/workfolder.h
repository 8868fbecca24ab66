#pragma once
// The running program's private work folder, where extraction copies documents
// and their texts. It is made inside the first safe candidate of TEMP, TMPDIR
// and /tmp: a folder owned by the user or by root that no other user can write
// to, unless its sticky bit keeps them from removing what is not theirs. The
// folder is owner-only and holds the file "owner" with the process id, so a
// later start can tell a leftover of an ended process from a folder in use.
// It is removed with calls relative to open folders that never follow a link.

#include <QString>
#include <QStringList>

namespace qm {

// The candidates in order: TEMP, TMPDIR (each when set), then /tmp.
QStringList workFolderCandidates();

// Creates the work folder (once) in the first usable candidate; returns its
// path without a trailing "/", or the empty text when no candidate could be
// used (workFolderProblem() then says why).
QString createWorkFolder();
QString createWorkFolder(const QStringList& candidates);

// The work folder; made on first use. Empty once making it failed.
QString workFolder();

// Why no work folder could be made: each folder tried and what was wrong with
// it. Empty while there is a work folder or none was tried.
QString workFolderProblem();

// Removes the work folder and everything in it (a link inside is removed as
// a link, its target untouched). The next workFolder() makes a new one.
void removeWorkFolder();

// Why `folder` must not hold a work folder, or the empty text when it may.
QString unsafeTemporaryFolderReason(const QString& folder);

// Removes what a crashed or killed run left behind: the work folders of this
// user in the usable candidates whose "owner" process no longer runs. A folder
// without an owner file, or of a process still running, is kept. Returns the
// number removed.
int removeStaleWorkFolders(const QStringList& candidates = workFolderCandidates());

// Removes the folder `name` of the folder `parentFd` and its content without
// following links. False when something stayed.
bool removeTreeAt(int parentFd, const char* name);

}  // namespace qm
