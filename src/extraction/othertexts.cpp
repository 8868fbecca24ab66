// A PDF's texts beside its pages: qpdf's JSON and the XMP packet made out,
// and the texts as the cache keeps them.
#include "extraction/othertexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <map>
#include <set>
#include <utility>

#include "text/error.h"

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
    out.push_back(OtherText{source, page, name, {}, t.toStdString(), 0});
}

// Every annotation of every page, with its page's number, in page order.
template <typename Each>
void forEachAnnotation(const QpdfJson& j, Each each) {
    for (const QJsonValue& p : j.top().value(u"pages").toArray()) {
        const QJsonObject page = p.toObject();
        const int number = page.value(u"pageposfrom1").toInt();
        const QJsonObject dict = j.dict(page.value(u"object"));
        for (const QJsonValue& a : j.resolve(dict.value(u"/Annots")).toArray())
            each(number, j.dict(a));
    }
}

void readComments(const QpdfJson& j, std::vector<OtherText>& out) {
    forEachAnnotation(j, [&](int number, const QJsonObject& annot) {
        const QString subtype = annot.value(u"/Subtype").toString();
        // Pop-ups show their parent's contents; widgets are form fields.
        if (subtype == u"/Popup" || subtype == u"/Widget" || subtype == u"/Link") return;
        add(out, TextSource::Comments, number, {}, pdfText(j.resolve(annot.value(u"/Contents"))));
    });
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

// The attachments annotations carry: the embedded stream of each one's file
// entry (/FS: its /EF's /UF, else /F, else any), with the page of the first
// annotation carrying it. One already listed (`listed`: by stream, its index
// in `list`) gets that page; another joins the list.
void readCarried(const QpdfJson& j, std::vector<QpdfTexts::Attachment>& list,
                 std::map<QString, std::size_t>& listed) {
    static const QRegularExpression ref(QStringLiteral("^\\d+ \\d+ R$"));
    forEachAnnotation(j, [&](int number, const QJsonObject& annot) {
        if (annot.value(u"/Subtype").toString() != u"/FileAttachment") return;
        const QJsonObject file = j.dict(annot.value(u"/FS"));
        const QJsonObject files = j.dict(file.value(u"/EF"));
        QString stream = files.value(u"/UF").toString();
        if (stream.isEmpty()) stream = files.value(u"/F").toString();
        if (stream.isEmpty() && !files.isEmpty()) stream = files.begin().value().toString();
        if (!ref.match(stream).hasMatch()) return;
        const auto [it, fresh] = listed.try_emplace(stream, list.size());
        if (fresh) {
            QString name = pdfText(j.resolve(file.value(u"/UF")));
            if (name.isEmpty()) name = pdfText(j.resolve(file.value(u"/F")));
            if (name.isEmpty()) name = QStringLiteral("attachment on page %1").arg(number);
            list.push_back({{}, name, pdfText(j.dict(stream).value(u"/Subtype")), stream, number});
        } else if (list[it->second].page == 0) {
            list[it->second].page = number;
        }
    });
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
        std::map<QString, std::size_t> listed;
        for (auto it = all.begin(); it != all.end(); ++it) {
            const QJsonObject a = it.value().toObject();
            QString type;
            for (const QJsonValue& s : a.value(u"streams").toObject())
                if (type.isEmpty()) type = s.toObject().value(u"mimetype").toString();
            listed.try_emplace(a.value(u"preferredcontents").toString(), r.attachments.size());
            r.attachments.push_back({it.key(), a.value(u"preferredname").toString(), type, {}, 0});
        }
        readCarried(j, r.attachments, listed);
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

QByteArray OtherTexts::toBytes() const {
    QJsonArray texts, notesOut;
    for (const OtherText& t : this->texts)
        texts.append(QJsonObject{{QStringLiteral("k"), int(t.source)},
                                 {QStringLiteral("p"), t.page},
                                 {QStringLiteral("n"), t.name},
                                 {QStringLiteral("a"), QJsonArray::fromStringList(t.attachment)},
                                 {QStringLiteral("x"), QString::fromStdString(t.text)},
                                 {QStringLiteral("c"), t.carrier}});
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
                                    list(t.value(u"a")), t.value(u"x").toString().toStdString(),
                                    t.value(u"c").toInt()});
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

}  // namespace qm
