#include "extraction/extractor.h"

#include <QFileInfo>
#include <QStandardPaths>

#include "fs/fs.h"

namespace qm {

QString findProgram(const char* name) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
    return found.isEmpty() ? QString() : QFileInfo(found).absoluteFilePath();
}

QString findExtractor() {
    return findProgram("pdftotext");
}

QString pathArgument(const QString& path) {
    return path.startsWith(u'-') ? QStringLiteral("./") + path : path;
}

bool canRun(const QString& program) {
    if (program.isEmpty()) return false;
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable();
}

QStringList plainArguments(const QString& pdfPath) {
    return {pathArgument(pdfPath), QStringLiteral("-")};
}

QString findQpdf() {
    return findProgram("qpdf");
}

QStringList decryptArguments(const QString& pdfPath) {
    return {QStringLiteral("--password-file=-"), QStringLiteral("--decrypt"), pathArgument(pdfPath),
            QStringLiteral("-")};
}

QStringList requiresPasswordArguments(const QString& pdfPath) {
    return {QStringLiteral("--requires-password"), pathArgument(pdfPath)};
}

QStringList checkArguments(const QString& pdfPath) {
    return {QStringLiteral("--check"), pathArgument(pdfPath)};
}

QByteArray passwordInput(const QString& password) {
    return password.toUtf8() + '\n';
}

fs::CopyResult copyToTemporary(const QString& source, const QString& temporaryPdf,
                               const std::function<bool()>& cancelled) {
    fs::removeQuietly(temporaryPdf);
    const fs::CopyResult r = fs::copyFileReporting(source, temporaryPdf, cancelled);
    if (r == fs::CopyResult::Copied && !fs::isFile(temporaryPdf))
        return fs::CopyResult::WriteFailed;
    return r;
}

}  // namespace qm
