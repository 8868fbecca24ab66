#pragma once
// The error report of the folder walk, as "Add All PDF File(s) In Folder" and a
// drop of folders show it.

#include "app/errorreport.h"
#include "filelist/folderscan.h"

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

}  // namespace qm
