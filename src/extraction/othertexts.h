#pragma once
// The texts of a PDF beside its pages' text: annotations' contents, form
// field values, bookmark titles, document properties (the information
// dictionary and the XMP metadata) and attached files (those of the
// document's list and those carried by file-attachment annotations), read
// through qpdf's JSON (limited to the keys these need). An attached PDF is read as a PDF
// (its pages by the extractor, its own texts and attachments likewise, at
// most kMaxAttachmentDepth deep); a text-like attachment as text; any other
// is named in a note. Every child runs under the caller's runner (its token
// and time limit); an attachment's bytes pass through the caller's scratch
// folder (the private work folder) and go once read.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "extraction/child.h"
#include "text/sources.h"

namespace qm {

// One text found beside the pages.
struct OtherText {
    // Comments, Forms, Bookmarks or Properties; Pages for the pages of an attached PDF.
    TextSource source = TextSource::Comments;
    // The page it is on or leads to, from 1; 0: none; kPagesFromText: the
    // page breaks of `text` count the pages (an attached PDF's pages).
    int page = 0;
    QString name;  // a form field's full name, a property's name
    QStringList
        attachment;    // the attached files it lies in, outermost first; empty: the file itself
    std::string text;  // valid UTF-8
    // The page of the file itself whose annotation carries the (outermost)
    // attachment the text lies in, from 1; 0: none, or not in an attachment.
    int carrier = 0;
};
inline constexpr int kPagesFromText = -1;

// Which set a text belongs to: Attachments for anything inside an attached file.
inline TextSource setOf(const OtherText& t) {
    return t.attachment.isEmpty() ? t.source : TextSource::Attachments;
}

// The path of a file, and after it the attachment a text lies in:
// "report.pdf » appendix.pdf" (the exports' path cell).
inline QString pathWithin(const QString& path, const QStringList& attachment) {
    return attachment.isEmpty()
               ? path
               : path + QStringLiteral(" \u00bb ") + attachment.join(QStringLiteral(" \u00bb "));
}

// Something about a file's other texts the run reports; the search goes on.
struct OtherNote {
    enum class Kind : std::uint8_t {
        NotSearched,  // an attachment that is neither a PDF nor text (`detail`: its type)
        TooLarge,     // an attachment above kMaxAttachmentBytes unpacked
        TooMany,      // more than kMaxAttachments attachments: the rest not searched
        TooDeep,      // attachments nested deeper than kMaxAttachmentDepth
        Unread,       // qpdf or the extractor failed on it (or on the file itself)
        TimedOut,     // the time limit ended the reading
    };
    Kind kind = Kind::Unread;
    QStringList attachment;  // the attachment concerned; empty: the file itself
    QString detail;
    bool operator==(const OtherNote&) const = default;
};

struct OtherTexts {
    TextSources sources = 0;  // the sets read (never Pages)
    std::vector<OtherText> texts;
    std::vector<OtherNote> notes;

    // The same, as bytes for the text cache (valid UTF-8), and back; fromBytes
    // throws qm::Error for bytes it did not write.
    QByteArray toBytes() const;
    static OtherTexts fromBytes(const QByteArray& bytes);
    // Adds what `older` holds of sets this one lacks.
    void mergeFrom(const OtherTexts& older);
};

inline constexpr std::int64_t kMaxAttachmentBytes = 256ll * 1024 * 1024;
inline constexpr int kMaxAttachments = 1000;
inline constexpr int kMaxAttachmentDepth = 3;

// The programs and the place the reading works with.
struct OtherTextsSetup {
    QString qpdf;
    QString extractor;
    QString folder;  // scratch files go here (and go again)
    // Runs one child (its token, its time limit); `output`: its standard
    // output's file, `cap` its bound in bytes (runChild's outputCap).
    std::function<ChildResult(const QString& program, const QStringList& args,
                              const QString& output, std::int64_t cap)>
        run;
    std::int64_t maxAttachmentBytes = kMaxAttachmentBytes;
    int maxAttachments = kMaxAttachments;
};

// The other texts of `pdf` (a file that opens without a password) of the
// sets `wanted` (Pages is ignored). Sets `interrupted` when a child was ended
// or timed out: what was read so far is returned, and must not be kept.
OtherTexts readOtherTexts(const QString& pdf, TextSources wanted, const OtherTextsSetup& setup,
                          bool& interrupted);

// The texts qpdf's JSON (`json`) gives, of the sets `wanted`; for
// attachments, those of the document's list (by key) and then those only
// annotations carry (by their stream's object), each with its type and the
// page of the first annotation carrying it; the XMP stream's object, when
// there is one (properties wanted), as "N G R". Exposed for the tests.
struct QpdfTexts {
    std::vector<OtherText> texts;
    struct Attachment {
        QString key, name, mimeType;
        QString stream;  // "N G R" of its stream when it has no key
        int page = 0;    // an annotation's page carrying it, from 1; 0: none
    };
    std::vector<Attachment> attachments;
    QString metadataObject;
};
QpdfTexts parseQpdfJson(const QByteArray& json, TextSources wanted);
// The texts of an XMP packet: each element's text, named by the element.
std::vector<OtherText> parseXmp(const QByteArray& xml);

}  // namespace qm
