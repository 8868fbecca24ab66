#include "words/words.h"

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

}  // namespace qm
