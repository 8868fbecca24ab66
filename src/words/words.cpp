#include "words/words.h"

#include <QLocale>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace qm {

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

}  // namespace qm
