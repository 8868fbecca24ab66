#pragma once
// Opening a result's file at the page of its occurrence. The desktop's
// default PDF viewer is looked up; the viewers known to take a page (and a
// phrase to find) on their command line are started with them, every other
// viewer opens the file as the desktop opens it.

#include <QString>
#include <QStringList>

#include "platform/services.h"

namespace qm {

struct ViewerCommand {
    QString program;  // empty: the viewer takes no page
    QStringList arguments;
};

// The command that opens `path` at `page` (from 1) with the viewer of the
// desktop entry `desktopEntry`, finding `phrase` where the viewer can.
ViewerCommand viewerCommand(const QString& desktopEntry, const QString& path, int page,
                            const QString& phrase);

// The desktop entry this program is registered for PDF files with.
inline constexpr const char* kOwnDesktopEntry = "quillmark.desktop";

// Opens `path` at `page` in the default PDF viewer; without a page, a viewer
// that takes one, or when the viewer cannot be started, opens it as the
// desktop does. When the default is this program itself, the next application
// registered for PDF files opens it instead (at the page when it takes one).
// False when there is no other: no PDF viewer is installed. A path holding
// bytes that are not UTF-8 (fs::decodeName) is opened through a link of a
// UTF-8 name in the work folder (pathForViewer).
bool openAtPage(Desktop& desktop, const QString& path, int page, const QString& phrase);

// `path` as a text another program is given: itself, or, when it holds bytes
// that are not UTF-8 (which a program's argument list, made from text, cannot
// carry), a new symbolic link to it in the work folder named as the name is
// shown ("caf\xE9.pdf"). The path itself when no link can be made.
QString pathForViewer(const QString& path);

}  // namespace qm
