#pragma once
// The text extractor (pdftotext of poppler-utils) and the extraction of one
// PDF file into a text file.

#include <QString>
#include <QStringList>

#include "fs/fs.h"

namespace qm {

// The absolute path of `pdftotext` found on PATH; empty when there is none.
// The absolute path of the program `name` found on PATH; empty when there is none.
QString findProgram(const char* name);
QString findExtractor();
// True when `program` names a file that may be run (empty: false).
bool canRun(const QString& program);

// The absolute path of `qpdf` found on PATH; empty when there is none. It
// decrypts files opened with a password and tells a file that needs one from
// a damaged one.
QString findQpdf();

// Names of the work files of an extraction, inside a worker's folder.
inline constexpr const char* kTemporaryPdfName = "tmp.pdf";
inline constexpr const char* kTemporaryTextName = "tmp.txt";
// The decrypted copy of a file opened with a password; removed once extracted.
inline constexpr const char* kDecryptedPdfName = "open.pdf";

// The time an extraction may take by default before it is ended.
inline constexpr int kDefaultTimeLimitSeconds = 600;

// A path as a child's argument: a relative path beginning with "-", which the
// program would read as an option, gets "./" before it. Every argument list of
// a child that names a file takes its path through here.
QString pathArgument(const QString& path);

// Extractor arguments: the text of `pdfPath` on standard output, for the
// program to write (runChild's output file), so that no write goes unchecked.
QStringList plainArguments(const QString& pdfPath);
// qpdf: decrypt `pdfPath` onto standard output (for the program to write) with
// the password read from standard input (a password never stands on a command
// line, which every local user can read).
QStringList decryptArguments(const QString& pdfPath);
// qpdf: exit status 0 when the file cannot be opened without a password.
QStringList requiresPasswordArguments(const QString& pdfPath);
// qpdf: exit status 0 when the file's structure holds no error or warning.
QStringList checkArguments(const QString& pdfPath);
// What qpdf reads as the password from its standard input.
QByteArray passwordInput(const QString& password);

// Exit status of pdftotext when the PDF cannot be opened (a password, damage).
inline constexpr int kExtractorCannotOpen = 1;
// Exit status of pdftotext when the PDF's permissions forbid copying its text.
inline constexpr int kExtractorPermissions = 3;
// Exit status of pdftotext for other errors, among them a PDF without pages
// ("Wrong page range given").
inline constexpr int kExtractorOtherError = 99;

// Replaces the temporary copy by a copy of `source`. Any older copy is deleted
// first, so a copy of an earlier file is never taken for this one.
fs::CopyResult copyToTemporary(const QString& source, const QString& temporaryPdf,
                               const std::function<bool()>& cancelled = {});

}  // namespace qm
