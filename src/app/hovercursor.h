#pragma once
// The hand shown over push buttons.

#include <QCursor>
#include <QString>

namespace qm {

// The cursor image "HAND-M.CUR" of the application folder, with the hot spot the
// file names; Qt's pointing hand when the file is missing or does not load.
QCursor loadHoverCursor(const QString& applicationFolder);

}  // namespace qm
