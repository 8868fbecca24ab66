// The texts of a PDF beside its pages, read from PDFs made here: each kind
// of text with its set, page, name and attachment, and the notes of the
// attachments that are not searched or reach a limit.
#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "extraction/extractor.h"
#include "extraction/othertexts.h"
#include "support/pdfmaker.h"
#include "support/richpdf.h"

namespace qm {

using namespace test;
using namespace Qt::StringLiterals;

namespace {

// A row as "set page name [chain] text" (text trimmed, page breaks left out),
// and " @P" when an annotation on page P carries its attachment.
QStringList rendered(const OtherTexts& t) {
    QStringList out;
    for (const OtherText& x : t.texts)
        out << u"%1 %2 %3 [%4] %5"_s.arg(int(x.source))
                       .arg(x.page)
                       .arg(x.name, x.attachment.join(u'>'),
                            QString::fromStdString(x.text).remove(u'\f').simplified()) +
                   (x.carrier ? u" @"_s + QString::number(x.carrier) : QString());
    return out;
}

QStringList notes(const OtherTexts& t) {
    QStringList out;
    for (const OtherNote& n : t.notes)
        out << u"%1 [%2] %3"_s.arg(int(n.kind)).arg(n.attachment.join(u'>'), n.detail);
    return out;
}

using Maker = std::function<void(const QString& dir, const QString& pdf)>;

// Two pages, and edits by qpdf.
void twoPages(const QString& pdf, const std::function<void(PdfEdit&)>& edit = {}) {
    makeTextPdf(pdf, {u"one"_s, u"two"_s}, u"okapi"_s);
    if (edit) editPdf(pdf, edit);
}

// A PDF holding `inner` attached as "nested.pdf", `depth` times over.
void nest(const QString& dir, const QString& pdf, int depth) {
    const QString inner = dir + u"/inner.pdf"_s;
    makeTextPdf(inner, {u"q-deepest"_s});
    for (int i = 0; i < depth; ++i) {
        makeTextPdf(pdf, {u"q-level"_s});
        attachFile(pdf, inner, u"nested.pdf"_s);
        QFile::remove(inner);
        QFile::copy(pdf, inner);
    }
}

}  // namespace

class OtherTextsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    ChildToken token_;

  private Q_SLOTS:
    void read_data() {
        QTest::addColumn<int>("wanted");
        QTest::addColumn<qint64>("cap");  // bytes an attachment may unpack to
        QTest::addColumn<int>("most");    // attachments a file may have
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QStringList>("rows");  // rows whose text holds "q-"
        QTest::addColumn<QStringList>("notes");
        const int all = kEveryText;
        const qint64 cap = kMaxAttachmentBytes;
        const int most = kMaxAttachments;
        // A note's contents, a free-text box: comments on their pages; the
        // pop-up of the note adds nothing. Catches annotations read from the
        // wrong page, pop-ups counted twice, or widgets taken for comments.
        QTest::newRow("comments")
            << all << cap << most << Maker([](const QString&, const QString& pdf) {
                   twoPages(pdf, [](PdfEdit& e) {
                       const QString popup = e.add(obj(
                           R"({"/Type": "/Annot", "/Subtype": "/Popup", "/Rect": [0, 0, 9, 9]})"));
                       QJsonObject note = annotation(u"/Text"_s, u"q-zebra note"_s);
                       note[u"/Popup"_s] = popup;
                       e.pages[1][u"/Annots"_s] = QJsonArray{e.add(note), popup};
                       e.pages[0][u"/Annots"_s] =
                           QJsonArray{annotation(u"/FreeText"_s, u"q-giraffe box"_s)};
                   });
               })
            << QStringList{u"2 1  [] q-giraffe box"_s, u"2 2  [] q-zebra note"_s} << QStringList{};
        // A filled text field and a ticked box give their values under their
        // names; an unticked box ("Off") gives none. Catches values lost in
        // their encoding (a text string, a name) or boxes that never say no.
        QTest::newRow("form fields")
            << all << cap << most << Maker([](const QString&, const QString& pdf) {
                   twoPages(pdf, [](PdfEdit& e) {
                       const char* field =
                           R"({"/Type": "/Annot", "/Subtype": "/Widget", "/FT": "%1",
                    "/T": "u:%2", "/V": "%3", "/Rect": [0, 0, 9, 9], "/P": "%4"})";
                       const QJsonArray fields{
                           e.add(obj(field, {u"/Tx"_s, u"applicant"_s, u"u:q-Jane Quill"_s,
                                             e.pageRefs[1]})),
                           e.add(obj(field, {u"/Btn"_s, u"q-agree"_s, u"/Yes"_s, e.pageRefs[1]})),
                           e.add(obj(field, {u"/Btn"_s, u"q-refuse"_s, u"/Off"_s, e.pageRefs[1]}))};
                       e.pages[1][u"/Annots"_s] = fields;
                       e.root[u"/AcroForm"_s] = QJsonObject{{u"/Fields"_s, fields}};
                   });
               })
            << QStringList{u"4 2 applicant [] q-Jane Quill"_s, u"4 2 q-agree [] Yes"_s}
            << QStringList{};
        // Titles at every level, each with the page it leads to, also through
        // a named destination held in a dictionary (as LaTeX writes them).
        // Catches a tree read one level deep, or such a bookmark without its page.
        QTest::newRow("bookmark tree")
            << all << cap << most << Maker([](const QString&, const QString& pdf) {
                   twoPages(pdf, [](PdfEdit& e) {
                       const QString outlines = e.add(), chapter = e.add(), section = e.add();
                       e.set(outlines,
                             obj(R"({"/First": "%1", "/Last": "%1", "/Count": 2})", {chapter}));
                       e.set(chapter, obj(R"({"/Title": "u:q-Chapter one", "/Parent": "%1",
                    "/Dest": ["%2", "/Fit"], "/First": "%3", "/Last": "%3", "/Count": 1})",
                                          {outlines, e.pageRefs[1], section}));
                       e.set(section,
                             obj(R"({"/Title": "u:q-Section", "/Dest": "/sec", "/Parent": "%1"})",
                                 {chapter}));
                       e.root[u"/Outlines"_s] = outlines;
                       e.root[u"/Dests"_s] =
                           obj(R"({"/sec": {"/D": ["%1", "/Fit"]}})", {e.pageRefs[0]});
                   });
               })
            << QStringList{u"8 2  [] q-Chapter one"_s, u"8 1  [] q-Section"_s} << QStringList{};
        // The information dictionary and the XMP packet, by name; dates left out.
        // Catches XMP elements named by their rdf: wrappers, or a property lost.
        QTest::newRow("properties and XMP")
            << all << cap << most << Maker([](const QString&, const QString& pdf) {
                   twoPages(pdf, [](PdfEdit& e) {
                       e.info[u"/Keywords"_s] = u"u:q-kw1, q-kw2"_s;
                       e.info[u"/Title"_s] = u"u:q-okapi"_s;
                       e.info[u"/ModDate"_s] = u"u:D:2020q-0101"_s;
                       const QByteArray xmp =
                           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                           "xmlns:rdf='http://www.w3.org/1999/02/"
                           "22-rdf-syntax-ns#'><rdf:Description "
                           "xmlns:dc='http://purl.org/dc/elements/1.1/' "
                           "xmlns:pdf='http://ns.adobe.com/pdf/1.3/' "
                           "pdf:Producer='q-maker'><dc:title>"
                           "<rdf:Alt><rdf:li "
                           "xml:lang='x-default'>q-walrus</rdf:li></rdf:Alt></dc:title>"
                           "</rdf:Description></rdf:RDF></x:xmpmeta>";
                       e.root[u"/Metadata"_s] =
                           e.addStream(xmp, obj(R"({"/Type": "/Metadata", "/Subtype": "/XML"})"));
                   });
               })
            << QStringList{u"16 0 Keywords [] q-kw1, q-kw2"_s, u"16 0 Title [] q-okapi"_s,
                           u"16 0 pdf:Producer [] q-maker"_s, u"16 0 dc:title [] q-walrus"_s}
            << QStringList{};
        // An attached PDF: its pages (page breaks count them), and an XML file
        // attached to it as text, inside both. Catches attachments read one
        // level only, or text attachments left out.
        QTest::newRow("attached PDF with its own attachment")
            << all << cap << most << Maker([](const QString& dir, const QString& pdf) {
                   const QString inner = dir + u"/appendix.pdf"_s, xml = dir + u"/invoice.xml"_s;
                   makeTextPdf(inner, {u"q-appendix page"_s, u"q-second"_s});
                   writeBytes(xml, "<invoice>q-total 12</invoice>");
                   attachFile(inner, xml);
                   twoPages(pdf);
                   attachFile(pdf, inner);
               })
            << QStringList{u"1 -1  [appendix.pdf] q-appendix page q-second"_s,
                           u"1 0  [appendix.pdf>invoice.xml] <invoice>q-total 12</invoice>"_s}
            << QStringList{};
        // Files only annotations carry (none in the document's list): a PDF
        // read as a PDF, a text as text, each once however many annotations
        // carry it, with the page of the first. Catches such files never
        // searched, searched twice, or without the page that carries them.
        QTest::newRow("attachments carried by annotations")
            << all << cap << most << Maker([](const QString& dir, const QString& pdf) {
                   const QString inner = dir + u"/inner.pdf"_s;
                   makeTextPdf(inner, {u"q-inner page"_s});
                   QFile f(inner);
                   const QByteArray innerBytes = f.open(QIODevice::ReadOnly) ? f.readAll() : "";
                   twoPages(pdf, [&](PdfEdit& e) {
                       const QJsonObject notes = carriedFile(e, u"notes"_s, "q-carried text");
                       e.pages[0][u"/Annots"_s] = QJsonArray{notes};
                       e.pages[1][u"/Annots"_s] =
                           QJsonArray{carriedFile(e, u"inner.pdf"_s, innerBytes), notes};
                   });
               })
            << QStringList{u"1 0  [notes] q-carried text @1"_s,
                           u"1 -1  [inner.pdf] q-inner page @2"_s}
            << QStringList{};
        // Neither PDF nor text: named by its type, not searched.
        QTest::newRow("image attachment")
            << all << cap << most << Maker([](const QString& dir, const QString& pdf) {
                   writeBytes(dir + u"/logo.png"_s, QByteArray("\x89PNG\r\n\x1a\n\0\0q-", 13));
                   twoPages(pdf);
                   attachFile(pdf, dir + u"/logo.png"_s, {}, u"image/png"_s);
               })
            << QStringList{} << QStringList{u"0 [logo.png] image/png"_s};
        // An attachment unpacked past the bound is noted, not searched.
        // Catches a hostile attachment unpacked whole.
        QTest::newRow("over-size attachment")
            << all << qint64(1000) << most << Maker([](const QString& dir, const QString& pdf) {
                   writeBytes(dir + u"/big.txt"_s, "q-" + QByteArray(4096, 'x'));
                   twoPages(pdf);
                   attachFile(pdf, dir + u"/big.txt"_s);
               })
            << QStringList{} << QStringList{u"1 [big.txt] "_s};
        // Attachments past the most a file may have are not read, noted once.
        // Catches a file of countless attachments read to its end.
        QTest::newRow("too many attachments")
            << all << cap << 2 << Maker([](const QString& dir, const QString& pdf) {
                   twoPages(pdf);
                   for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
                       writeBytes(dir + u'/' + QLatin1String(name), "q-" + QByteArray(name));
                       attachFile(pdf, dir + u'/' + QLatin1String(name));
                   }
               })
            << QStringList{u"1 0  [a.txt] q-a.txt"_s, u"1 0  [b.txt] q-b.txt"_s}
            << QStringList{u"2 [] "_s};
        // A file attached inside itself over and over ends at the depth limit,
        // noted once. Catches a loop followed without end.
        QTest::newRow("attachment loop")
            << all << cap << most
            << Maker([](const QString& dir, const QString& pdf) { nest(dir, pdf, 5); })
            << QStringList{u"1 -1  [nested.pdf] q-level"_s,
                           u"1 -1  [nested.pdf>nested.pdf] q-level"_s,
                           u"1 -1  [nested.pdf>nested.pdf>nested.pdf] q-level"_s}
            << QStringList{u"3 [nested.pdf>nested.pdf>nested.pdf>nested.pdf] "_s};
        // Only the sets asked for are read: the pages alone read nothing.
        QTest::newRow("pages only")
            << int(kPageText) << cap << most
            << Maker([](const QString& dir, const QString& pdf) { nest(dir, pdf, 1); })
            << QStringList{} << QStringList{};
    }
    void read() {
        QFETCH(int, wanted);
        QFETCH(qint64, cap);
        QFETCH(int, most);
        QFETCH(Maker, make);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, notes);
        const QString dir = dir_.path() + u'/' + QString::fromLatin1(QTest::currentDataTag());
        QDir().mkpath(dir + u"/work"_s);
        make(dir, dir + u"/file.pdf"_s);
        OtherTextsSetup s{findQpdf(), findExtractor(), dir + u"/work"_s, {}, cap, most};
        s.run = [this](const QString& program, const QStringList& args, const QString& out,
                       std::int64_t cap) {
            return runChild(program, args, token_, {}, 60000, out, {}, cap);
        };
        bool interrupted = false;
        const OtherTexts got =
            readOtherTexts(dir + u"/file.pdf"_s, static_cast<TextSources>(wanted), s, interrupted);
        QVERIFY(!interrupted);
        QCOMPARE(rendered(got).filter(u"q-"_s), rows);
        QCOMPARE(qm::notes(got), notes);
        QVERIFY(QDir(dir + u"/work"_s).isEmpty());  // nothing left behind
    }

    // What the cache keeps comes back the same, and an older entry's other
    // sets join a newer one. Catches a field lost on the way to the cache.
    void keptBytes() {
        OtherTexts a{static_cast<TextSources>(TextSource::Comments),
                     {{TextSource::Comments, 3, {}, {}, "é note"}},
                     {}};
        OtherTexts b{static_cast<TextSources>(TextSource::Attachments),
                     {{TextSource::Pages, kPagesFromText, {}, {u"a.pdf"_s}, "x"}},
                     {{OtherNote::Kind::NotSearched, {u"b.png"_s}, u"image/png"_s}}};
        a.mergeFrom(OtherTexts::fromBytes(b.toBytes()));
        const OtherTexts back = OtherTexts::fromBytes(a.toBytes());
        QCOMPARE(int(back.sources), int(TextSource::Comments) | int(TextSource::Attachments));
        QCOMPARE(rendered(back), (QStringList{u"2 3  [] é note"_s, u"1 -1  [a.pdf] x"_s}));
        QCOMPARE(qm::notes(back), QStringList{u"0 [b.png] image/png"_s});
    }
};

}  // namespace qm

QTEST_MAIN(qm::OtherTextsTest)
#include "test_othertexts.moc"
