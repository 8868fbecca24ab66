#include "search/textsource.h"

#include "extraction/checks.h"
#include "fs/fs.h"

namespace qm {

FileText ExtractingTextSource::obtain(const FileRequest& request) {
    const QString pdf = temporaryPdfPath(setup_.workFolder);
    const QString txt = temporaryTextPath(setup_.workFolder);
    FileText result;

    if (!copyToTemporary(request.path, pdf)) {
        result.outcome = TextOutcome::NotCopied;
        return result;
    }
    const QString password = request.password ? request.password() : QString();
    if (!extractText(setup_.extractorPath, pdf, password, setup_.pump, request.wait)) {
        result.outcome = TextOutcome::Protected;
        return result;
    }

    // The work files go whatever happens while the text is looked at.
    struct Cleanup {
        const QString& txt;
        const QString& pdf;
        EventPump* pump;
        ~Cleanup() {
            if (pump) pump->pump();
            fs::removeQuietly(txt);
            if (pump) pump->pump();
            fs::removeQuietly(pdf);
        }
    } cleanup{txt, pdf, setup_.pump};

    const bool unreadable = setup_.boxes ? NoTextPDF(txt, *setup_.boxes) : NoTextPDF(txt);
    if (unreadable) {
        result.outcome = TextOutcome::Unreadable;
        return result;
    }
    result.chunks = readFileChunks(txt);
    result.outcome = TextOutcome::Text;
    return result;
}

}  // namespace qm
