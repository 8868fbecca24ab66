#pragma once
// The error report of the folder walk, as "Add All PDF File(s) In Folder" and a
// drop of folders show it.

#include "app/errorreport.h"
#include "filelist/folderscan.h"
#include "text/display.h"
#include "words/words.h"

namespace qm {

// Shows each failure of the walk in the report box at
// "OrvenTitle2021/08/31.AddFolder.GetSubDirectories2016": at step 100 when a
// folder could not be listed, at step 102 when a found folder could not be
// added to the collection.
inline FolderWalkFailure folderWalkReport(MessageBoxes& boxes) {
    return [&boxes](FolderWalkStage stage, const QString& description) {
        const QString location =
            errorLocation(QStringLiteral("AddFolder"), QStringLiteral("GetSubDirectories2016"),
                          QStringLiteral("OrvenTitle2021/08/31"));
        const int step = stage == FolderWalkStage::Listing ? 100 : 102;
        boxes.message(composeErrorReport(description, location, step),
                      QString::fromLatin1(kErrorTitle), MessageBoxes::Icon::Warning);
    };
}

// After a walk: one message naming each folder or file under the walked
// folders that could not be read, with its reason; nothing when there is none.
inline void showUnreadable(MessageBoxes& boxes, const WalkProblems& problems,
                           const QString& title) {
    if (problems.empty()) return;
    QString text = QString::fromLatin1(kWalkProblemsHeading) + QStringLiteral("\r\n");
    for (const WalkProblem& p : problems)
        text += QStringLiteral("\r\n") + text::blankControls(p.path) + QStringLiteral("  - ") +
                walkProblemReason(p.error);
    boxes.message(text, title, MessageBoxes::Icon::Warning);
}

}  // namespace qm
