// A PDF's texts beside its pages, from qpdf's JSON and its attachments.
#include "extraction/othertexts.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <map>
#include <set>
#include <utility>

#include "extraction/extractor.h"
#include "fs/fs.h"
#include "text/error.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

namespace {

// qpdf's JSON (version 2) of one file, with references resolved through its objects.
class QpdfJson {
  public:
    explicit QpdfJson(const QJsonObject& top) : top_(top) {
        const QJsonArray q = top.value(u"qpdf").toArray();
        if (q.size() > 1) objects_ = q.at(1).toObject();
    }
    const QJsonObject& top() const { return top_; }
    // The value `v` refers to ("N G R"), or `v` itself.
    QJsonValue resolve(const QJsonValue& v) const {
        static const QRegularExpression ref(QStringLiteral("^\\d+ \\d+ R$"));
        if (!v.isString() || !ref.match(v.toString()).hasMatch()) return v;
        const QJsonObject o = objects_.value(QStringLiteral("obj:") + v.toString()).toObject();
        return o.contains(u"value") ? o.value(u"value")
                                    : o.value(u"stream").toObject().value(u"dict");
    }
    QJsonObject dict(const QJsonValue& v) const { return resolve(v).toObject(); }
    QJsonObject trailer() const {
        return objects_.value(u"trailer").toObject().value(u"value").toObject();
    }

  private:
    QJsonObject top_;
    QJsonObject objects_;
};

// A PDF string or name of qpdf's JSON as text: "u:" text, "b:" bytes in hex
// (PDFDocEncoding, read as Latin-1), "/" a name (its #xx escapes undone).
QString pdfText(const QJsonValue& v) {
    const QString s = v.toString();
    if (s.startsWith(u"u:")) return s.mid(2);
    if (s.startsWith(u"b:")) return QString::fromLatin1(QByteArray::fromHex(s.mid(2).toLatin1()));
    if (s.startsWith(u'/')) {
        const QByteArray name = s.mid(1).toUtf8();
        return QString::fromUtf8(QByteArray::fromPercentEncoding(name, '#'));
    }
    return s;
}

void add(std::vector<OtherText>& out, TextSource source, int page, const QString& name,
         const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return;
    out.push_back(OtherText{source, page, name, {}, t.toStdString()});
}

void readComments(const QpdfJson& j, std::vector<OtherText>& out) {
    for (const QJsonValue& p : j.top().value(u"pages").toArray()) {
        const QJsonObject page = p.toObject();
        const int number = page.value(u"pageposfrom1").toInt();
        const QJsonObject dict = j.dict(page.value(u"object"));
        for (const QJsonValue& a : j.resolve(dict.value(u"/Annots")).toArray()) {
            const QJsonObject annot = j.dict(a);
            const QString subtype = annot.value(u"/Subtype").toString();
            // Pop-ups show their parent's contents; widgets are form fields.
            if (subtype == u"/Popup" || subtype == u"/Widget" || subtype == u"/Link") continue;
            add(out, TextSource::Comments, number, {},
                pdfText(j.resolve(annot.value(u"/Contents"))));
        }
    }
}

void readFields(const QpdfJson& j, std::vector<OtherText>& out) {
    std::set<std::pair<QString, QString>> seen;  // radio buttons repeat their field's value
    for (const QJsonValue& f : j.top().value(u"acroform").toObject().value(u"fields").toArray()) {
        const QJsonObject field = f.toObject();
        const QJsonValue v = j.resolve(field.value(u"value"));
        QString value;
        if (v.isArray()) {
            QStringList parts;
            for (const QJsonValue& e : v.toArray()) parts << pdfText(j.resolve(e));
            value = parts.join(u'\n');
        } else if (v.isString() && v.toString() != u"/Off") {
            value = pdfText(v);
        }
        const QString name = field.value(u"fullname").toString();
        if (!seen.insert({name, value}).second) continue;
        add(out, TextSource::Forms, field.value(u"pageposfrom1").toInt(), name, value);
    }
}

// The page a bookmark leads to: qpdf's, else that of its destination (an
// array, or a dictionary's /D, a named destination resolved) by `pages`.
int destinationPage(const QJsonObject& item, const std::map<QString, int>& pages) {
    if (const int page = item.value(u"destpageposfrom1").toInt()) return page;
    QJsonValue dest = item.value(u"dest");
    if (dest.isObject()) dest = dest.toObject().value(u"/D");
    const auto it = pages.find(dest.toArray().at(0).toString());
    return it == pages.end() ? 0 : it->second;
}

void readOutline(const QJsonArray& items, const std::map<QString, int>& pages,
                 std::vector<OtherText>& out) {
    for (const QJsonValue& i : items) {
        const QJsonObject item = i.toObject();
        add(out, TextSource::Bookmarks, destinationPage(item, pages), {},
            item.value(u"title").toString());
        readOutline(item.value(u"kids").toArray(), pages, out);
    }
}

// Dates are left out: no one searches a property for its time stamp.
bool isDateName(const QString& name) {
    return name.endsWith(QLatin1String("Date"));
}

void readInfo(const QpdfJson& j, std::vector<OtherText>& out) {
    const QJsonObject info = j.dict(j.trailer().value(u"/Info"));
    for (auto it = info.begin(); it != info.end(); ++it) {
        const QJsonValue v = j.resolve(it.value());
        const QString name = it.key().mid(1);
        if (!v.isString() || v.toString().startsWith(u'/') || isDateName(name)) continue;
        add(out, TextSource::Properties, 0, name, pdfText(v));
    }
}

}  // namespace

QpdfTexts parseQpdfJson(const QByteArray& json, TextSources wanted) {
    QpdfTexts r;
    const QpdfJson j(QJsonDocument::fromJson(json).object());
    if (has(wanted, TextSource::Comments)) readComments(j, r.texts);
    if (has(wanted, TextSource::Forms)) readFields(j, r.texts);
    if (has(wanted, TextSource::Bookmarks)) {
        std::map<QString, int> pages;
        for (const QJsonValue& p : j.top().value(u"pages").toArray())
            pages[p.toObject().value(u"object").toString()] =
                p.toObject().value(u"pageposfrom1").toInt();
        readOutline(j.top().value(u"outlines").toArray(), pages, r.texts);
    }
    if (has(wanted, TextSource::Properties)) {
        readInfo(j, r.texts);
        const QJsonValue meta = j.dict(j.trailer().value(u"/Root")).value(u"/Metadata");
        if (meta.isString()) r.metadataObject = meta.toString();
    }
    if (has(wanted, TextSource::Attachments)) {
        const QJsonObject all = j.top().value(u"attachments").toObject();
        for (auto it = all.begin(); it != all.end(); ++it) {
            const QJsonObject a = it.value().toObject();
            QString type;
            for (const QJsonValue& s : a.value(u"streams").toObject())
                if (type.isEmpty()) type = s.toObject().value(u"mimetype").toString();
            r.attachments.push_back({it.key(), a.value(u"preferredname").toString(), type});
        }
    }
    return r;
}

std::vector<OtherText> parseXmp(const QByteArray& xml) {
    std::vector<OtherText> out;
    QXmlStreamReader r(xml);
    QStringList open;  // the elements open, named as written
    const auto named = [](const QString& q) {
        return !q.startsWith(QLatin1String("rdf:")) && !q.startsWith(QLatin1String("x:"));
    };
    while (!r.atEnd()) {
        switch (r.readNext()) {
            case QXmlStreamReader::StartElement:
                open << r.qualifiedName().toString();
                // The short form: properties as attributes of a description.
                for (const QXmlStreamAttribute& a : r.attributes()) {
                    const QString q = a.qualifiedName().toString();
                    if (named(q) && !q.startsWith(QLatin1String("xmlns")) && !isDateName(q))
                        add(out, TextSource::Properties, 0, q, a.value().toString());
                }
                break;
            case QXmlStreamReader::EndElement:
                if (!open.isEmpty()) open.removeLast();
                break;
            case QXmlStreamReader::Characters: {
                if (r.isWhitespace()) break;
                QString name;
                for (auto it = open.crbegin(); it != open.crend() && name.isEmpty(); ++it)
                    if (named(*it)) name = *it;
                if (!name.isEmpty() && !isDateName(name))
                    add(out, TextSource::Properties, 0, name, r.text().toString());
                break;
            }
            default:
                break;
        }
    }
    return out;
}

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
            readAttachment(pdf, a, chain);
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
        // The pages: comments by page, and the page numbers of destinations.
        if (comments || bookmarks) args << QStringLiteral("--json-key=pages");
        // The objects: annotations, the document information, values and
        // destinations given by reference.
        if (comments || bookmarks || has(sets, TextSource::Properties) ||
            has(sets, TextSource::Forms))
            args << QStringLiteral("--json-key=qpdf");
        if (has(sets, TextSource::Forms)) args << QStringLiteral("--json-key=acroform");
        if (bookmarks) args << QStringLiteral("--json-key=outlines");
        if (has(sets, TextSource::Attachments)) args << QStringLiteral("--json-key=attachments");
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
        const ChildResult r = setup_.run(
            setup_.qpdf, {QStringLiteral("--show-attachment=") + a.key, pathArgument(pdf)}, file,
            setup_.maxAttachmentBytes);
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
                OtherText t{TextSource::Pages, 0, {}, chain, decodeToUtf8(bytes)};
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
            out_.texts.push_back(OtherText{
                TextSource::Pages, kPagesFromText, {}, chain, decodeToUtf8(pages->toStdString())});
        read(file, chain);
    }

    TextSources wanted_;
    const OtherTextsSetup& setup_;
    OtherTexts& out_;
    int count_ = 0;
    bool deepNoted_ = false;
};

}  // namespace

QByteArray OtherTexts::toBytes() const {
    QJsonArray texts, notesOut;
    for (const OtherText& t : this->texts)
        texts.append(QJsonObject{{QStringLiteral("k"), int(t.source)},
                                 {QStringLiteral("p"), t.page},
                                 {QStringLiteral("n"), t.name},
                                 {QStringLiteral("a"), QJsonArray::fromStringList(t.attachment)},
                                 {QStringLiteral("x"), QString::fromStdString(t.text)}});
    for (const OtherNote& n : notes)
        notesOut.append(QJsonObject{{QStringLiteral("k"), int(n.kind)},
                                    {QStringLiteral("a"), QJsonArray::fromStringList(n.attachment)},
                                    {QStringLiteral("d"), n.detail}});
    const QJsonObject all{{QStringLiteral("s"), int(sources)},
                          {QStringLiteral("t"), texts},
                          {QStringLiteral("n"), notesOut}};
    return QJsonDocument(all).toJson(QJsonDocument::Compact);
}

OtherTexts OtherTexts::fromBytes(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument d = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !d.isObject())
        throw Error(QStringLiteral("A kept entry of other texts is damaged"));
    const QJsonObject all = d.object();
    const auto list = [](const QJsonValue& v) {
        QStringList out;
        for (const QJsonValue& e : v.toArray()) out << e.toString();
        return out;
    };
    OtherTexts r;
    r.sources = static_cast<TextSources>(all.value(u"s").toInt() & kEveryText);
    for (const QJsonValue& v : all.value(u"t").toArray()) {
        const QJsonObject t = v.toObject();
        r.texts.push_back(OtherText{static_cast<TextSource>(t.value(u"k").toInt()),
                                    t.value(u"p").toInt(), t.value(u"n").toString(),
                                    list(t.value(u"a")), t.value(u"x").toString().toStdString()});
    }
    for (const QJsonValue& v : all.value(u"n").toArray()) {
        const QJsonObject n = v.toObject();
        r.notes.push_back(OtherNote{static_cast<OtherNote::Kind>(n.value(u"k").toInt()),
                                    list(n.value(u"a")), n.value(u"d").toString()});
    }
    return r;
}

void OtherTexts::mergeFrom(const OtherTexts& older) {
    const TextSources extra = older.sources & ~sources;
    if (extra == 0) return;
    for (const OtherText& t : older.texts)
        if (has(extra, setOf(t))) texts.push_back(t);
    // Notes about attachments go with their set; those of the file itself stay with the newer.
    for (const OtherNote& n : older.notes)
        if (!n.attachment.isEmpty() && has(extra, TextSource::Attachments)) notes.push_back(n);
    sources |= extra;
}

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
