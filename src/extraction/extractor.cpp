#include "extraction/extractor.h"

#include <QFileInfo>
#include <QStandardPaths>

#include "fs/fs.h"

namespace qm {

QString findExtractor() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    return found.isEmpty() ? QString() : QFileInfo(found).absoluteFilePath();
}

QString extractorMissingMessage() {
    return QStringLiteral(
        "The text extractor \"pdftotext\" was not found, so no PDF file can be searched.\r\n\r\n"
        "Please install the package poppler-utils (for example with the command "
        "\"sudo apt install poppler-utils\") and start Quillmark again.");
}

QStringList plainArguments(const QString& pdfPath) {
    return {pdfPath};
}

QStringList passwordArguments(const QString& pdfPath, const QString& password) {
    return {QStringLiteral("-opw"), password, QStringLiteral("-upw"), password, pdfPath};
}

bool copyToTemporary(const QString& source, const QString& temporaryPdf) {
    fs::removeQuietly(temporaryPdf);
    fs::copyFile(source, temporaryPdf);
    return fs::isFile(temporaryPdf);
}

}  // namespace qm
