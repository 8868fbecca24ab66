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

// Opens `path` at `page` in the default PDF viewer; without a page, a viewer
// that takes one, or when the viewer cannot be started, opens it as the desktop does.
void openAtPage(Desktop& desktop, const QString& path, int page, const QString& phrase);

}  // namespace qm
