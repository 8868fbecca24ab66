// The texts beside a file's pages, read on its worker after its text
// (TextPipeline::FileWork::addOtherTexts).
#include <QByteArray>

#include "extraction/extractor.h"
#include "extraction/othertexts.h"
#include "extraction/pipeline_filework.h"
#include "text/error.h"

namespace qm {

// The texts beside the pages, for a file that gave a text (a scan's too: a
// filled form may be one): from the cache
// when its entry holds every set asked for, else read from the copy (made
// and decrypted now for a text that came from the cache) and kept with the
// sets the entry held before.
void TextPipeline::FileWork::addOtherTexts() {
    const bool opened =
        out_.outcome == TextOutcome::Text || out_.outcome == TextOutcome::Unreadable;
    if (!beyondPages(job_.sources) || !opened) return;
    // Named anew when what is read grows, so that no older entry stands for
    // it (2: the attachments only annotations carry, too).
    static const QString kReading = QStringLiteral("other texts 2");
    const TextSources wanted = job_.sources & ~kPageText;
    OtherTexts older;
    if (const auto entry =
            setup_.cache && id_ ? setup_.cache->find(*id_, job_.password, kReading) : nullptr) {
        try {
            older = OtherTexts::fromBytes(QByteArray::fromStdString(entry->chunks().utf8()));
        } catch (const Error&) {
            older = OtherTexts();  // damaged: read anew
        }
        if ((older.sources & wanted) == wanted) {
            out_.others = std::make_shared<const OtherTexts>(std::move(older));
            return;
        }
    }
    if (!copy_) {
        const TextOutcome text = out_.outcome;
        const bool gotCopy = copied();
        out_.outcome = text;
        if (!gotCopy) return;
        cleanUp_ = true;
        if (!job_.password.isEmpty() && !setup_.qpdfPath.isEmpty()) {
            const ChildResult r =
                run(setup_.qpdfPath, decryptArguments(pdf_), passwordInput(job_.password), opened_);
            decrypted_ = r.exited && (r.exitCode == 0 || r.exitCode == 3) && !r.outputLost;
        }
    }
    OtherTextsSetup how;
    how.qpdf = setup_.qpdfPath;
    how.extractor = setup_.extractorPath;
    how.folder = folder_;
    how.run = [this](const QString& program, const QStringList& args, const QString& output,
                     std::int64_t cap) {
        const ChildResult r = runChild(program, args, job_.token, {}, limitMs_, output, {}, cap);
        ended_ = ended_ || r.ended;
        return r;
    };
    bool interrupted = false;
    OtherTexts read = readOtherTexts(decrypted_ ? opened_ : pdf_, wanted, how, interrupted);
    if (ended_) out_.outcome = TextOutcome::Ended;
    read.mergeFrom(older);
    // Read whole from a file that stayed as it was: kept, with the sets kept before.
    if (!interrupted && setup_.cache && id_ && FileIdentity::of(job_.path) == id_) {
        const std::string bytes = read.toBytes().toStdString();
        setup_.cache->store(*id_, job_.password, CachedText::forText(bytes, -1), kReading);
    }
    out_.others = std::make_shared<const OtherTexts>(std::move(read));
}

}  // namespace qm
