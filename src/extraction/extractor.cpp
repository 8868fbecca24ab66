#include "extraction/extractor.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "fs/fs.h"
#include "extraction/runandwait.h"

namespace qm {

QString FindExtractor() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    return found.isEmpty() ? QString() : QFileInfo(found).absoluteFilePath();
}

QString extractorMissingMessage() {
    return QStringLiteral(
        "The text extractor \"pdftotext\" was not found, so no PDF file can be searched.\r\n\r\n"
        "Please install the package poppler-utils (for example with the command "
        "\"sudo apt install poppler-utils\") and start Quillmark again.");
}

QString temporaryPdfPath(const QString& workFolder) {
    return workFolder + u'/' + QString::fromLatin1(kTemporaryPdfName);
}

QString temporaryTextPath(const QString& workFolder) {
    return workFolder + u'/' + QString::fromLatin1(kTemporaryTextName);
}

QString checkOutputPath(const QString& workFolder, const QString& listedPath) {
    return workFolder + u'/' + fs::fileName(fs::stripExtension(listedPath)) + QStringLiteral(".txt");
}

QStringList plainArguments(const QString& pdfPath) {
    return {pdfPath};
}

QStringList passwordArguments(const QString& pdfPath, const QString& password) {
    return {QStringLiteral("-opw"), password, QStringLiteral("-upw"), password, pdfPath};
}

QStringList checkArguments(const QString& pdfPath, const QString& outputPath) {
    return {pdfPath, outputPath};
}

namespace {
// The file the extractor writes when given no output path.
QString textPathFor(const QString& pdf) {
    if (pdf.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return pdf.left(pdf.size() - 4) + QStringLiteral(".txt");
    return pdf + QStringLiteral(".txt");
}
}  // namespace

bool copyToTemporary(const QString& source, const QString& temporaryPdf) {
    fs::removeQuietly(temporaryPdf);
    fs::copyFile(source, temporaryPdf);
    return fs::isFile(temporaryPdf);
}

bool extractText(const QString& extractor, const QString& temporaryPdf, const QString& password,
                 EventPump* pump, const WaitDisplay& wait) {
    const QString text = textPathFor(temporaryPdf);
    fs::removeQuietly(text);
    auto run = [&](const QStringList& args) {
        RunAndWait(extractor, args, pump, wait.bar, wait.statusText, wait.startPercent,
                   wait.fileCount);
    };
    if (!password.isEmpty()) {
        run(passwordArguments(temporaryPdf, password));
        if (fs::isFile(text) || extractionsEnded()) return fs::isFile(text);
    }
    run(plainArguments(temporaryPdf));
    return fs::isFile(text);
}

}  // namespace qm
