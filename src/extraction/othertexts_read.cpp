// A PDF's texts beside its pages read: qpdf's JSON of the file, its XMP
// stream, and its attachments (by key, or by stream object for those only an
// annotation carries), each attached PDF read the same way.
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "extraction/extractor.h"
#include "extraction/othertexts.h"
#include "fs/fs.h"
#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

namespace {

bool textLikeName(const QString& name) {
    static const QStringList kinds = {QStringLiteral("txt"), QStringLiteral("csv"),
                                      QStringLiteral("xml"), QStringLiteral("json"),
                                      QStringLiteral("md"),  QStringLiteral("html"),
                                      QStringLiteral("htm")};
    return kinds.contains(QFileInfo(name).suffix().toLower());
}

bool isValidUtf8WithoutNul(const std::string& bytes) {
    return bytes.find('\0') == std::string::npos && utf8::validPrefixLength(bytes) == bytes.size();
}

// One reading of a file and the attachments in it.
class Reader {
  public:
    Reader(TextSources wanted, const OtherTextsSetup& setup, OtherTexts& out)
        : wanted_(wanted), setup_(setup), out_(out) {}
    bool interrupted = false;

    void read(const QString& pdf, const QStringList& chain) {
        const QString file = scratch(u"json", static_cast<int>(chain.size()));
        TextSources sets = wanted_;
        auto json = answer(jsonArguments(sets, pdf), file, chain, false);
        // qpdf may fail on a form it cannot make out: the rest without it.
        if (!json && !interrupted && has(sets, TextSource::Forms)) {
            sets &= ~static_cast<TextSources>(TextSource::Forms);
            // (qpdf without a key gives them all, the form too.)
            if (sets != 0) json = answer(jsonArguments(sets, pdf), file, chain, false);
            if (json || sets == 0) note(OtherNote::Kind::Unread, chain, QStringLiteral("forms"));
            if (!json) return;
        }
        if (!json) {
            if (!interrupted) note(OtherNote::Kind::Unread, chain);
            return;
        }
        QpdfTexts found = parseQpdfJson(*json, sets);
        if (!found.metadataObject.isEmpty()) readXmp(pdf, found, chain);
        for (OtherText& t : found.texts) {
            t.attachment = chain;
            out_.texts.push_back(std::move(t));
        }
        for (const QpdfTexts::Attachment& a : found.attachments) {
            if (interrupted) return;
            const std::size_t first = out_.texts.size();
            readAttachment(pdf, a, chain);
            // The page of the file itself that carries it, for all it holds.
            if (chain.isEmpty())
                for (std::size_t i = first; i < out_.texts.size(); ++i)
                    out_.texts[i].carrier = a.page;
        }
    }

  private:
    QString scratch(const char16_t* what, int depth) const {
        return setup_.folder + u'/' + QString::fromUtf16(what) + QString::number(depth);
    }

    void note(OtherNote::Kind kind, const QStringList& chain, const QString& detail = {}) {
        out_.notes.push_back(OtherNote{kind, chain, detail});
    }

    // qpdf's JSON of `pdf`, limited to what the sets need.
    static QStringList jsonArguments(TextSources sets, const QString& pdf) {
        QStringList args{QStringLiteral("--json=2"), QStringLiteral("--json-stream-data=none")};
        const bool comments = has(sets, TextSource::Comments);
        const bool bookmarks = has(sets, TextSource::Bookmarks);
        const bool attachments = has(sets, TextSource::Attachments);
        // The pages: comments and attachments' annotations by page, and the
        // page numbers of destinations.
        if (comments || bookmarks || attachments) args << QStringLiteral("--json-key=pages");
        // The objects: annotations, the document information, values and
        // destinations given by reference.
        if (comments || bookmarks || attachments || has(sets, TextSource::Properties) ||
            has(sets, TextSource::Forms))
            args << QStringLiteral("--json-key=qpdf");
        if (has(sets, TextSource::Forms)) args << QStringLiteral("--json-key=acroform");
        if (bookmarks) args << QStringLiteral("--json-key=outlines");
        if (attachments) args << QStringLiteral("--json-key=attachments");
        return args << pathArgument(pdf);
    }

    // A child's standard output, read back from `file` (then removed); nothing
    // when it failed (noted unless `quiet`) or was interrupted.
    std::optional<QByteArray> answer(const QStringList& args, const QString& file,
                                     const QStringList& chain, bool noteFailure = true) {
        const ChildResult r = setup_.run(setup_.qpdf, args, file, -1);
        if (r.ended || r.timedOut) {
            interrupted = true;
            if (r.timedOut) note(OtherNote::Kind::TimedOut, chain);
            fs::removeQuietly(file);
            return std::nullopt;
        }
        auto bytes = takeAnswer(r, file, -1, {0, 3});  // 3: done, with warnings
        if (!bytes && noteFailure) note(OtherNote::Kind::Unread, chain);
        return bytes;
    }

    void readXmp(const QString& pdf, QpdfTexts& found, const QStringList& chain) {
        const QString number = found.metadataObject.section(u' ', 0, 0);
        const auto json = answer({QStringLiteral("--json=2"), QStringLiteral("--json-key=qpdf"),
                                  QStringLiteral("--json-object=") + number,
                                  QStringLiteral("--json-stream-data=inline"), pathArgument(pdf)},
                                 scratch(u"xmp", static_cast<int>(chain.size())), chain);
        if (!json) return;
        const QJsonArray q = QJsonDocument::fromJson(*json).object().value(u"qpdf").toArray();
        const QString data = q.at(1)
                                 .toObject()
                                 .value(QStringLiteral("obj:") + found.metadataObject)
                                 .toObject()
                                 .value(u"stream")
                                 .toObject()
                                 .value(u"data")
                                 .toString();
        for (OtherText& t : parseXmp(QByteArray::fromBase64(data.toLatin1())))
            found.texts.push_back(std::move(t));
    }

    void readAttachment(const QString& pdf, const QpdfTexts::Attachment& a, QStringList chain) {
        chain << (a.name.isEmpty() ? a.key : a.name);
        if (chain.size() > kMaxAttachmentDepth) {
            if (!deepNoted_) note(OtherNote::Kind::TooDeep, chain);
            deepNoted_ = true;
            return;
        }
        if (++count_ > setup_.maxAttachments) {
            if (count_ == setup_.maxAttachments + 1) note(OtherNote::Kind::TooMany, {});
            return;
        }
        const int depth = static_cast<int>(chain.size());
        const QString file = scratch(u"attachment", depth);
        // One without a key (only an annotation carries it): its stream's data.
        const QStringList args =
            a.key.isEmpty()
                ? QStringList{QStringLiteral("--show-object=") + a.stream.section(u' ', 0, 0) +
                                  u',' + a.stream.section(u' ', 1, 1),
                              QStringLiteral("--filtered-stream-data"), pathArgument(pdf)}
                : QStringList{QStringLiteral("--show-attachment=") + a.key, pathArgument(pdf)};
        const ChildResult r = setup_.run(setup_.qpdf, args, file, setup_.maxAttachmentBytes);
        if (r.ended || r.timedOut || r.outputCapped || !r.exited ||
            (r.exitCode != 0 && r.exitCode != 3) || r.outputLost) {
            fs::removeQuietly(file);
            if (r.ended || r.timedOut) {
                interrupted = true;
                if (r.timedOut) note(OtherNote::Kind::TimedOut, chain);
            } else {
                note(r.outputCapped ? OtherNote::Kind::TooLarge : OtherNote::Kind::Unread, chain);
            }
            return;
        }
        QFile f(file);
        const std::string head = f.open(QIODevice::ReadOnly) ? f.read(1024).toStdString() : "";
        f.close();
        if (head.find("%PDF-") != std::string::npos) {
            readAttachedPdf(file, chain);
        } else {
            std::string bytes;
            try {
                bytes = readFileBytes(file);
            } catch (const Error&) {
                note(OtherNote::Kind::Unread, chain);
            }
            if (textLikeName(chain.last()) || isValidUtf8WithoutNul(bytes)) {
                OtherText t{TextSource::Pages, 0, {}, chain, decodeToUtf8(bytes), 0};
                if (!t.text.empty()) out_.texts.push_back(std::move(t));
            } else if (!bytes.empty()) {
                note(
                    OtherNote::Kind::NotSearched, chain,
                    a.mimeType.isEmpty() ? QStringLiteral("application/octet-stream") : a.mimeType);
            }
        }
        fs::removeQuietly(file);
    }

    void readAttachedPdf(const QString& file, const QStringList& chain) {
        const QString text = scratch(u"pages", static_cast<int>(chain.size()));
        const ChildResult r = setup_.run(setup_.extractor, plainArguments(file), text, -1);
        if (r.ended || r.timedOut) {
            interrupted = true;
            if (r.timedOut) note(OtherNote::Kind::TimedOut, chain);
            fs::removeQuietly(text);
            return;
        }
        const auto pages = takeAnswer(r, text);
        if (!pages) {
            note(OtherNote::Kind::Unread, chain);
            return;
        }
        if (!pages->isEmpty())
            out_.texts.push_back(OtherText{TextSource::Pages,
                                           kPagesFromText,
                                           {},
                                           chain,
                                           decodeToUtf8(pages->toStdString()),
                                           0});
        read(file, chain);
    }

    TextSources wanted_;
    const OtherTextsSetup& setup_;
    OtherTexts& out_;
    int count_ = 0;
    bool deepNoted_ = false;
};

}  // namespace

OtherTexts readOtherTexts(const QString& pdf, TextSources wanted, const OtherTextsSetup& setup,
                          bool& interrupted) {
    OtherTexts out;
    out.sources = wanted & kEveryText & ~kPageText;
    if (out.sources == 0) return out;
    Reader reader(out.sources, setup, out);
    reader.read(pdf, {});
    interrupted = reader.interrupted;
    return out;
}

}  // namespace qm
