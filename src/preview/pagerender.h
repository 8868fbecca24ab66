#pragma once
// One page made ready to be shown: its image rendered by pdftoppm and its
// words with their boxes read by pdftotext -bbox-layout, both children run
// through runChild (extraction/child.h) on the calling thread, under a time
// limit and a token that ends them when the page is no longer wanted. A file
// opened with a password is first decrypted by qpdf into the caller's folder
// (the password on standard input, never on a command line); both programs
// read that copy, which is removed at the end.

#include <QByteArray>
#include <QString>

#include "extraction/child.h"
#include "preview/pagewords.h"

namespace qm {

enum class PageOutcome {
    Shown,
    NoRenderer,     // pdftoppm not found
    NoFile,         // the file is gone or is not a regular file
    NotDecrypted,   // qpdf could not open it with the password (or is missing)
    RenderFailed,   // pdftoppm failed or gave no image (a damaged page or file)
    TimedOut,       // over the time limit
    Ended,          // no longer wanted (a newer page, the program ending)
    WorkFolderFull  // an output could not be written
};

struct PageRequest {
    QString path;
    int page = 1;           // from 1
    int widthPixels = 800;  // the width the page is shown at (device pixels)
    QString password;       // empty: none
};

struct PageTools {
    QString pdftoppm;
    QString pdftotext;  // empty: no boxes
    QString qpdf;
    int timeLimitMs = 20000;
};

struct PageImage {
    PageOutcome outcome = PageOutcome::RenderFailed;
    int exitCode = -1;  // of the program that failed, when it exited
    QByteArray png;     // the rendered page
    int dpi = 0;
    PageWords words;  // none when the page has no text of its own (a scan)
    bool shown() const { return outcome == PageOutcome::Shown; }
    qint64 bytes() const { return png.size() + static_cast<qint64>(words.words.size()) * 64; }
};

// The resolution that shows a page `pageWidthPoints` wide in about
// `widthPixels` pixels, in steps of 8 dpi (so that a slightly wider pane
// takes the same render, scaled) and kept between 24 and 600 dpi.
int renderDpi(double pageWidthPoints, int widthPixels);

// Makes the page of `request` ready, working in `folder` (made when missing;
// the caller's alone). Blocks the calling thread. A file with a password is
// decrypted into `folder` and the copy removed at the end; with `keptCopy`,
// the copy is that file instead, taken when it is there and left for the
// next page (the caller removes it).
PageImage loadPage(const PageRequest& request, const PageTools& tools, const QString& folder,
                   ChildToken& token, const QString& keptCopy = {});

}  // namespace qm
