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

namespace {

// A row as "set page name [chain] text" (text trimmed, page breaks left out).
QStringList rendered(const OtherTexts& t) {
    QStringList out;
    for (const OtherText& x : t.texts) {
        QString text = QString::fromStdString(x.text).remove(u'\f').simplified();
        out << QStringLiteral("%1 %2 %3 [%4] %5")
                   .arg(int(x.source))
                   .arg(x.page)
                   .arg(x.name, x.attachment.join(u'>'), text);
    }
    return out;
}

QStringList notes(const OtherTexts& t) {
    QStringList out;
    for (const OtherNote& n : t.notes)
        out << QStringLiteral("%1 [%2] %3").arg(int(n.kind)).arg(n.attachment.join(u'>'), n.detail);
    return out;
}

using Maker = std::function<void(const QString& dir, const QString& pdf)>;

void twoPages(const QString& pdf) {
    makeTextPdf(pdf, {QStringLiteral("one"), QStringLiteral("two")}, QStringLiteral("okapi"));
}

// A PDF holding `inner` attached as "nested.pdf", `depth` times over.
void nest(const QString& dir, const QString& pdf, int depth) {
    const QString inner = dir + QStringLiteral("/inner.pdf");
    makeTextPdf(inner, {QStringLiteral("q-deepest")});
    for (int i = 0; i < depth; ++i) {
        makeTextPdf(pdf, {QStringLiteral("q-level")});
        attachFile(pdf, inner, QStringLiteral("nested.pdf"));
        QFile::remove(inner);
        QFile::copy(pdf, inner);
    }
}

}  // namespace

class OtherTextsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

  private Q_SLOTS:
    void read_data() {
        QTest::addColumn<int>("wanted");
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QStringList>("rows");  // rows whose text holds "q-"
        QTest::addColumn<QStringList>("notes");
        const int all = kEveryText;
        // A note's contents, a free-text box: comments on their pages; the
        // pop-up of the note adds nothing. Catches annotations read from the
        // wrong page, pop-ups counted twice, or widgets taken for comments.
        QTest::newRow("comments") << all << Maker([](const QString&, const QString& pdf) {
            twoPages(pdf);
            editPdf(pdf, [](PdfEdit& e) {
                QJsonObject note =
                    annotation(QStringLiteral("/Text"), QStringLiteral("q-zebra note"));
                const QString popup =
                    e.add(QJsonObject{{QStringLiteral("/Type"), QStringLiteral("/Annot")},
                                      {QStringLiteral("/Subtype"), QStringLiteral("/Popup")},
                                      {QStringLiteral("/Rect"), QJsonArray{0, 0, 9, 9}}});
                note.insert(QStringLiteral("/Popup"), popup);
                e.pages[1].insert(QStringLiteral("/Annots"), QJsonArray{e.add(note), popup});
                e.pages[0].insert(QStringLiteral("/Annots"),
                                  QJsonArray{annotation(QStringLiteral("/FreeText"),
                                                        QStringLiteral("q-giraffe box"))});
            });
        })
                                  << QStringList{QStringLiteral("2 1  [] q-giraffe box"),
                                                 QStringLiteral("2 2  [] q-zebra note")}
                                  << QStringList{};
        // A filled text field and a ticked box give their values under their
        // names; an unticked box ("Off") gives none. Catches values lost in
        // their encoding (a text string, a name) or boxes that never say no.
        QTest::newRow("form fields") << all << Maker([](const QString&, const QString& pdf) {
            twoPages(pdf);
            editPdf(pdf, [](PdfEdit& e) {
                const auto field = [&](const QString& type, const QString& name,
                                       const QString& value) {
                    return e.add(
                        QJsonObject{{QStringLiteral("/Type"), QStringLiteral("/Annot")},
                                    {QStringLiteral("/Subtype"), QStringLiteral("/Widget")},
                                    {QStringLiteral("/FT"), type},
                                    {QStringLiteral("/T"), QStringLiteral("u:") + name},
                                    {QStringLiteral("/V"), value},
                                    {QStringLiteral("/Rect"), QJsonArray{0, 0, 9, 9}},
                                    {QStringLiteral("/P"), e.pageRef(1)}});
                };
                const QJsonArray fields{field(QStringLiteral("/Tx"), QStringLiteral("applicant"),
                                              QStringLiteral("u:q-Jane Quill")),
                                        field(QStringLiteral("/Btn"), QStringLiteral("q-agree"),
                                              QStringLiteral("/Yes")),
                                        field(QStringLiteral("/Btn"), QStringLiteral("q-refuse"),
                                              QStringLiteral("/Off"))};
                e.pages[1].insert(QStringLiteral("/Annots"), fields);
                e.root.insert(QStringLiteral("/AcroForm"),
                              QJsonObject{{QStringLiteral("/Fields"), fields}});
            });
        })
                                     << QStringList{QStringLiteral("4 2 applicant [] q-Jane Quill"),
                                                    QStringLiteral("4 2 q-agree [] Yes")}
                                     << QStringList{};
        // Titles at every level, each with the page it leads to, also through
        // a named destination held in a dictionary (as LaTeX writes them).
        // Catches a tree read one level deep, or such a bookmark without its page.
        QTest::newRow("bookmark tree") << all << Maker([](const QString&, const QString& pdf) {
            twoPages(pdf);
            editPdf(pdf, [](PdfEdit& e) {
                const QString outlines =
                    e.add({{QStringLiteral("/Type"), QStringLiteral("/Outlines")}});
                const QString chapter = e.add({});
                const QString section = e.add({});
                e.added.insert(QStringLiteral("obj:") + outlines,
                               QJsonObject{{QStringLiteral("value"),
                                            QJsonObject{{QStringLiteral("/First"), chapter},
                                                        {QStringLiteral("/Last"), chapter},
                                                        {QStringLiteral("/Count"), 2}}}});
                e.added.insert(
                    QStringLiteral("obj:") + chapter,
                    QJsonObject{
                        {QStringLiteral("value"),
                         QJsonObject{{QStringLiteral("/Title"), QStringLiteral("u:q-Chapter one")},
                                     {QStringLiteral("/Parent"), outlines},
                                     {QStringLiteral("/Dest"),
                                      QJsonArray{e.pageRef(1), QStringLiteral("/Fit")}},
                                     {QStringLiteral("/First"), section},
                                     {QStringLiteral("/Last"), section},
                                     {QStringLiteral("/Count"), 1}}}});
                e.added.insert(
                    QStringLiteral("obj:") + section,
                    QJsonObject{
                        {QStringLiteral("value"),
                         QJsonObject{{QStringLiteral("/Title"), QStringLiteral("u:q-Section")},
                                     {QStringLiteral("/Dest"), QStringLiteral("/sec")},
                                     {QStringLiteral("/Parent"), chapter}}}});
                e.root.insert(QStringLiteral("/Outlines"), outlines);
                const QJsonArray page1{e.pageRef(0), QStringLiteral("/Fit")};
                e.root.insert(QStringLiteral("/Dests"),
                              QJsonObject{{QStringLiteral("/sec"),
                                           QJsonObject{{QStringLiteral("/D"), page1}}}});
            });
        })
                                       << QStringList{QStringLiteral("8 2  [] q-Chapter one"),
                                                      QStringLiteral("8 1  [] q-Section")}
                                       << QStringList{};
        // The information dictionary and the XMP packet, by name; dates left out.
        // Catches XMP elements named by their rdf: wrappers, or a property lost.
        QTest::newRow("properties and XMP")
            << all << Maker([](const QString&, const QString& pdf) {
                   twoPages(pdf);
                   editPdf(pdf, [](PdfEdit& e) {
                       e.info.insert(QStringLiteral("/Keywords"), QStringLiteral("u:q-kw1, q-kw2"));
                       e.info.insert(QStringLiteral("/Title"), QStringLiteral("u:q-okapi"));
                       e.info.insert(QStringLiteral("/ModDate"), QStringLiteral("u:D:2020q-0101"));
                       const QByteArray xmp =
                           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                           "<rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/' "
                           "xmlns:pdf='http://ns.adobe.com/pdf/1.3/' pdf:Producer='q-maker'>"
                           "<dc:title><rdf:Alt><rdf:li "
                           "xml:lang='x-default'>q-walrus</rdf:li></rdf:Alt></dc:title>"
                           "</rdf:Description></rdf:RDF></x:xmpmeta>";
                       e.root.insert(
                           QStringLiteral("/Metadata"),
                           e.addStream(xmp,
                                       {{QStringLiteral("/Type"), QStringLiteral("/Metadata")},
                                        {QStringLiteral("/Subtype"), QStringLiteral("/XML")}}));
                   });
               })
            << QStringList{QStringLiteral("16 0 Keywords [] q-kw1, q-kw2"),
                           QStringLiteral("16 0 Title [] q-okapi"),
                           QStringLiteral("16 0 pdf:Producer [] q-maker"),
                           QStringLiteral("16 0 dc:title [] q-walrus")}
            << QStringList{};
        // An attached PDF: its pages (page breaks count them), and an XML file
        // attached to it as text, inside both. Catches attachments read one
        // level only, or text attachments left out.
        QTest::newRow("attached PDF with its own attachment")
            << all << Maker([](const QString& dir, const QString& pdf) {
                   const QString inner = dir + QStringLiteral("/appendix.pdf"),
                                 xml = dir + QStringLiteral("/invoice.xml");
                   makeTextPdf(inner,
                               {QStringLiteral("q-appendix page"), QStringLiteral("q-second")});
                   writeBytes(xml, "<invoice>q-total 12</invoice>");
                   attachFile(inner, xml);
                   twoPages(pdf);
                   attachFile(pdf, inner);
               })
            << QStringList{QStringLiteral("1 -1  [appendix.pdf] q-appendix page q-second"),
                           QStringLiteral(
                               "1 0  [appendix.pdf>invoice.xml] <invoice>q-total 12</invoice>")}
            << QStringList{};
        // Neither PDF nor text: named by its type, not searched.
        QTest::newRow("image attachment")
            << all << Maker([](const QString& dir, const QString& pdf) {
                   writeBytes(dir + QStringLiteral("/logo.png"),
                              QByteArray("\x89PNG\r\n\x1a\n\0\0q-", 13));
                   twoPages(pdf);
                   attachFile(pdf, dir + QStringLiteral("/logo.png"), {},
                              QStringLiteral("image/png"));
               })
            << QStringList{} << QStringList{QStringLiteral("0 [logo.png] image/png")};
        // A file attached inside itself over and over ends at the depth limit,
        // noted once. Catches a loop followed without end.
        QTest::newRow("attachment loop")
            << all << Maker([](const QString& dir, const QString& pdf) { nest(dir, pdf, 5); })
            << QStringList{QStringLiteral("1 -1  [nested.pdf] q-level"),
                           QStringLiteral("1 -1  [nested.pdf>nested.pdf] q-level"),
                           QStringLiteral("1 -1  [nested.pdf>nested.pdf>nested.pdf] q-level")}
            << QStringList{QStringLiteral("3 [nested.pdf>nested.pdf>nested.pdf>nested.pdf] ")};
        // Only the sets asked for are read: the pages alone read nothing.
        QTest::newRow("pages only")
            << int(kPageText)
            << Maker([](const QString& dir, const QString& pdf) { nest(dir, pdf, 1); })
            << QStringList{} << QStringList{};
    }
    void read() {
        QFETCH(int, wanted);
        QFETCH(Maker, make);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, notes);
        const QString dir = dir_.path() + u'/' + QString::fromLatin1(QTest::currentDataTag());
        QDir().mkpath(dir + QStringLiteral("/work"));
        const QString pdf = dir + QStringLiteral("/file.pdf");
        make(dir, pdf);
        bool interrupted = false;
        const OtherTexts got =
            readOtherTexts(pdf, static_cast<TextSources>(wanted), setup(dir), interrupted);
        QVERIFY(!interrupted);
        QCOMPARE(rendered(got).filter(QStringLiteral("q-")), rows);
        QCOMPARE(qm::notes(got), notes);
        QVERIFY(QDir(dir + QStringLiteral("/work")).isEmpty());  // nothing left behind
    }

    // An attachment unpacked past the bound is noted and not searched.
    // Catches a hostile attachment unpacked whole.
    void overSizeAttachment() {
        const QString dir = dir_.path() + QStringLiteral("/big");
        QDir().mkpath(dir + QStringLiteral("/work"));
        writeBytes(dir + QStringLiteral("/big.txt"), QByteArray(4096, 'q'));
        makeTextPdf(dir + QStringLiteral("/file.pdf"), {QStringLiteral("one")});
        attachFile(dir + QStringLiteral("/file.pdf"), dir + QStringLiteral("/big.txt"));
        const OtherTextsSetup s = setup(dir, 1000);
        bool interrupted = false;
        const OtherTexts got =
            readOtherTexts(dir + QStringLiteral("/file.pdf"), kEveryText, s, interrupted);
        QCOMPARE(qm::notes(got), QStringList{QStringLiteral("1 [big.txt] ")});
        QVERIFY(got.texts.empty() || rendered(got).filter(QStringLiteral("qqqq")).isEmpty());
    }

    // What the cache keeps comes back the same, and an older entry's other
    // sets join a newer one. Catches a field lost on the way to the cache.
    void keptBytes() {
        OtherTexts a;
        a.sources = static_cast<TextSources>(TextSource::Comments);
        a.texts.push_back({TextSource::Comments, 3, {}, {}, "é note"});
        OtherTexts b;
        b.sources = static_cast<TextSources>(TextSource::Attachments);
        b.texts.push_back({TextSource::Pages, kPagesFromText, {}, {QStringLiteral("a.pdf")}, "x"});
        b.notes.push_back(
            {OtherNote::Kind::NotSearched, {QStringLiteral("b.png")}, QStringLiteral("image/png")});
        a.mergeFrom(OtherTexts::fromBytes(b.toBytes()));
        const OtherTexts back = OtherTexts::fromBytes(a.toBytes());
        QCOMPARE(int(back.sources), int(TextSource::Comments) | int(TextSource::Attachments));
        QCOMPARE(rendered(back), (QStringList{QStringLiteral("2 3  [] é note"),
                                              QStringLiteral("1 -1  [a.pdf] x")}));
        QCOMPARE(qm::notes(back), QStringList{QStringLiteral("0 [b.png] image/png")});
    }

  private:
    ChildToken token_;
    OtherTextsSetup setup(const QString& dir, std::int64_t cap = kMaxAttachmentBytes) {
        OtherTextsSetup s;
        s.qpdf = findQpdf();
        s.extractor = findExtractor();
        s.folder = dir + QStringLiteral("/work");
        s.maxAttachmentBytes = cap;
        s.run = [this](const QString& program, const QStringList& args, const QString& out,
                       std::int64_t cap) {
            return runChild(program, args, token_, {}, 60000, out, {}, cap);
        };
        return s;
    }
};

}  // namespace qm

QTEST_MAIN(qm::OtherTextsTest)
#include "test_othertexts.moc"
