#include "words/words.h"

#include <QLocale>
#include <QStringList>
#include <cerrno>
#include <cstring>

#include "extraction/ocr.h"

namespace qm {

QString weakOcrSuffix(int page) {
    return QStringLiteral("  - page %1 read by OCR with low confidence.").arg(page);
}

QString weakOcrReport(const std::vector<WeakOcrPage>& pages, const QString& lineEnd,
                      const std::function<QString(const QString&)>& name) {
    if (pages.empty()) return {};
    QString report = QString::fromLatin1(kWeakOcrHeading);
    for (const WeakOcrPage& p : pages) report += lineEnd + name(p.path) + weakOcrSuffix(p.page);
    return report;
}

QString failureSuffix(TextOutcome outcome) {
    switch (outcome) {
        case TextOutcome::NotCopied:
            return QString::fromLatin1(kNotCopiedSuffix);
        case TextOutcome::CopyFailed:
            return QString::fromLatin1(kCopyFailedSuffix);
        case TextOutcome::Protected:
            return QString::fromLatin1(kProtectedSuffix);
        case TextOutcome::Damaged:
            return QString::fromLatin1(kDamagedSuffix);
        case TextOutcome::Failed:
            return QString::fromLatin1(kFailedSuffix);
        case TextOutcome::TimedOut:
            return QString::fromLatin1(kTimedOutSuffix);
        case TextOutcome::Unreadable:
            return QString::fromLatin1(kUnreadableSuffix);
        case TextOutcome::Text:
        case TextOutcome::Stopped:
        case TextOutcome::Ended:
            break;
    }
    return QString();
}

QString otherNoteSuffix(const OtherNote& note) {
    QString what;
    switch (note.kind) {
        case OtherNote::Kind::NotSearched:
            what = QStringLiteral("attachment not searched: ") + note.detail;
            break;
        case OtherNote::Kind::TooLarge:
            what = QStringLiteral("attachment larger than 256 MiB not searched");
            break;
        case OtherNote::Kind::TooMany:
            what = QStringLiteral("more than 1,000 attachments: the rest not searched");
            break;
        case OtherNote::Kind::TooDeep:
            what = QStringLiteral("attachments nested more than 3 deep not searched");
            break;
        case OtherNote::Kind::Unread:
            if (note.detail == u"forms")
                what = QStringLiteral("form fields could not be read");
            else if (note.attachment.isEmpty())
                what = QStringLiteral("comments, forms, bookmarks or properties could not be read");
            else
                what = QStringLiteral("attachment could not be read");
            break;
        case OtherNote::Kind::TimedOut:
            what = QStringLiteral("texts beside the pages took too long");
            break;
    }
    if (!note.attachment.isEmpty())
        what += QStringLiteral(" (") + note.attachment.join(QStringLiteral(" \u00bb ")) + u')';
    return QStringLiteral("  - ") + what;
}

QString passwordPrompt(const QString& path) {
    return QStringLiteral("Enter password for file (") + path + QStringLiteral("): \r\n") +
           QStringLiteral("Note: Leave this box blank if file is not password protected");
}

QString walkProblemReason(int error) {
    if (error == ENAMETOOLONG)
        return QStringLiteral("the path is longer than the system takes (%1 bytes)")
            .arg(QLocale(QLocale::English).toString(4096));
    if (error == ELOOP)
        return QStringLiteral("a link back to a folder that holds it (a loop), not followed");
    return QString::fromLocal8Bit(std::strerror(error));
}

QString attributesNotKeptText(const QString& path, const fs::LostAttributes& lost) {
    QStringList what;
    if (lost.owner) what << QStringLiteral("owner and group");
    if (lost.mode) what << QStringLiteral("permissions");
    if (lost.acl) what << QStringLiteral("access control list");
    if (what.isEmpty()) return QString();
    const QString last = what.takeLast();
    const QString list =
        what.isEmpty() ? last : what.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("The file \"") + path +
           QStringLiteral("\" was saved, but it could not keep its ") + list +
           QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(lost.error)) +
           QStringLiteral(").");
}

QString cacheFolderRefusedText(const QString& folder, CacheFolderRefusal refusal, int error) {
    QString why;
    switch (refusal) {
        case CacheFolderRefusal::None:
            return QString();
        case CacheFolderRefusal::Unavailable:
            why = QString::fromLocal8Bit(std::strerror(error));
            break;
        case CacheFolderRefusal::Link:
            why = QStringLiteral("it is a symbolic link");
            break;
        case CacheFolderRefusal::NotAFolder:
            why = QStringLiteral("it is not a folder");
            break;
        case CacheFolderRefusal::OthersOwner:
            why = QStringLiteral("it belongs to another user");
            break;
        case CacheFolderRefusal::OpenToOthers:
            why = QStringLiteral("others may open it");
            break;
    }
    return QStringLiteral(
               "The folder of kept texts %1 is not used: %2. Texts are not kept on disk "
               "in this run.")
        .arg(folder, why);
}

QString noPhraseInListText(const QString& list) {
    return QStringLiteral("The list ") + list +
           QStringLiteral(" holds blank lines only: there is nothing in it to search for.");
}

}  // namespace qm

namespace qm {

QString searchProblemText(const SearchProblem& problem) {
    using Kind = SearchProblem::Kind;
    const QString package = QString::fromLatin1(kOcrPackage);
    switch (problem.kind) {
        case Kind::NothingToSearchFor:
            return problem.multiple
                       ? QStringLiteral(
                             "The find set is empty: there is nothing to search for. Add phrases "
                             "with \"+\" or \"Load\", or choose \"Search for this:\".")
                       : QStringLiteral("You forgot to input search text");
        case Kind::NoFiles:
            return QStringLiteral("No files added.");
        case Kind::NoWorkFolder:
            return QString();
        case Kind::CacheFolderRefused:
            return cacheFolderRefusedText(problem.folder, problem.refusal, problem.error);
        case Kind::OcrUnavailable:
            if (problem.present)
                return QStringLiteral(
                           "--ocr needs tesseract to read scanned pages, and tesseract (%1) did "
                           "not answer when asked for its version: please reinstall the package "
                           "%2 (sudo apt install --reinstall %2)")
                    .arg(problem.tesseract, package);
            return QStringLiteral(
                       "--ocr needs tesseract to read scanned pages: please install the package ") +
                   package + QStringLiteral(" (sudo apt install ") + package + u')';
        case Kind::InvalidPattern:
            return QStringLiteral("Invalid pattern \"%1\": %2 at character %3")
                .arg(problem.pattern, problem.message)
                .arg(problem.character);
        case Kind::OcrLanguagesMissing: {
            QStringList named;
            for (const QString& m : problem.missing)
                named << (m.isEmpty() ? QStringLiteral("(empty)") : u'"' + m + u'"');
            return QStringLiteral("OCR language not installed: ") +
                   named.join(QStringLiteral(", ")) + QStringLiteral("; installed: ") +
                   (problem.installed.isEmpty() ? QStringLiteral("none")
                                                : problem.installed.join(QStringLiteral(", "))) +
                   QStringLiteral(" (more come as packages tesseract-ocr-LANG)");
        }
    }
    return QString();
}

QString patternTooComplexText(const QString& path) {
    return path + QStringLiteral(": the pattern is too complex for this file");
}

QString ocrNotAnsweringText(const QString& tesseract) {
    return QStringLiteral(
               "tesseract (%1) did not answer, so scanned pages are not read. Please reinstall "
               "the package %2 (sudo apt install --reinstall %2).")
        .arg(tesseract, QString::fromLatin1(kOcrPackage));
}

}  // namespace qm
