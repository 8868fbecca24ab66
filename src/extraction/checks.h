#pragma once
// The two tests for files whose text cannot be had or read.

#include <QString>
#include <cstdint>

#include "platform/services.h"

namespace qm {

class FileList;
class TextCache;

// True when an extracted text file holds fewer than six printable characters
// and at least one non-printable one (code points 32-126 and 160 up are printable).
// Throws qm::Error when the file cannot be read.
bool NoTextPDF(const QString& textPath);
// The same with its own error report: a failure is reported in `boxes` and
// the answer is then false (the text is searched, and yields what it yields).
bool NoTextPDF(const QString& textPath, MessageBoxes& boxes);

// The file's size in bytes (low 32 bits, signed), or -1 when it cannot be opened.
std::int32_t FileSize2(const QString& path);

// What the add-time check needs of the window.
struct CheckContext {
    Services* services = nullptr;
    ProgressBar* progress = nullptr;
    MousePointer* pointer = nullptr;
    QString extractorPath;  // absolute path of pdftotext; empty when none was found
    QString workFolder;     // the private temporary folder
    // Texts extracted before (not owned); null: every listed file is extracted.
    TextCache* cache = nullptr;
};

// Extracts every listed file once and reports, in one message, the files whose
// text is shorter than 10 bytes.
void CheckByCodeNotPreviewTextbox(const CheckContext& context, const FileList& list);

// The check's message for the reported paths (each followed by CR LF).
QString checkReportText(const QString& reportedPaths);

}  // namespace qm
