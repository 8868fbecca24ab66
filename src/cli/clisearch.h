#pragma once
// quillmark-search: the window's search run with a console in place of the
// window. The files of the command line (folders walked as the folder scan
// walks them) form the file list; the run extracts, checks and matches each
// file exactly as "Start Searching" does, and the rows of each file are
// printed as soon as that file is done.

#include <QString>
#include <QStringList>

namespace qm::cli {

// Exit statuses.
inline constexpr int kExitFound = 0;
inline constexpr int kExitNothingFound = 1;
inline constexpr int kExitTrouble = 2;    // usage error, missing extractor, unwritable output
inline constexpr int kExitAborted = 130;  // a second Ctrl+C ended the run at once

// Environment variable naming the extractor to run instead of the one on PATH.
inline constexpr const char* kExtractorVariable = "QM_EXTRACTOR";
// The qpdf to use instead of the one on PATH (tests).
inline constexpr const char* kQpdfVariable = "QM_QPDF";

// Runs the program with `arguments` (the program's name left out); returns
// its exit status. Needs a QCoreApplication.
int runCommandLine(const QStringList& arguments);

// The one-line message when no extractor can be run.
QString missingExtractorLine(const QString& extractor);

}  // namespace qm::cli
