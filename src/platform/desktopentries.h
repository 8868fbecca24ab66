#pragma once
// The applications the desktop has registered for a MIME type, read from the
// desktop entries (*.desktop) in the "applications" folders of the XDG data
// folders ($XDG_DATA_HOME, then $XDG_DATA_DIRS), and the command line that
// starts one of them on a file.

#include <QString>
#include <QStringList>

namespace qm {

// The "applications" folders, the most important first.
QStringList applicationFolders();

// The entries (their ids, such as "org.gnome.Evince.desktop") registered for
// `mimeType`: those that mimeapps.list adds first, in its order, then every
// entry whose MimeType lists the type, folder by folder and by name. An entry
// that is hidden, that mimeapps.list removes, or whose program is not
// installed is left out; each id comes once.
QStringList registeredApplications(const QString& mimeType);

// The file of an entry, found by its id; empty when there is none.
QString desktopEntryFile(const QString& id);

// The program and arguments of an entry's Exec value for one file: %f and %F
// become the file, %u and %U its URL, %% a percent sign, other field codes are
// dropped; without a file code the file is added at the end. Quoted arguments
// are read as desktop entries quote them. Empty for an empty value.
QStringList execCommand(const QString& exec, const QString& path);

// The command that opens `path` with the entry `id`; empty when the entry
// cannot be found or has no command.
QStringList openCommand(const QString& id, const QString& path);

}  // namespace qm
