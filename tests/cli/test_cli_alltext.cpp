// quillmark-search with the texts beside the pages: the rows of each source
// in --json and with -n, the attachments' notes, a protected file's comment,
// the default unchanged, and the cache that keeps which sets it holds.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/extractor.h"
#include "support/cliprocess.h"
#include "support/pdfmaker.h"
#include "support/richpdf.h"

namespace qm {

using namespace test;

class CliAllTextTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString log_;

    CliOutcome run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), d(QStringLiteral("xdg")));
        env.insert(QStringLiteral("QM_EXTRACTOR"), d(QStringLiteral("pdftotext.sh")));
        env.insert(QStringLiteral("QM_QPDF"), d(QStringLiteral("qpdf.sh")));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_.path());
        p.start(cliProgram(), QStringList{QStringLiteral("--no-progress")} + args);
        return finishCli(p);
    }
    int calls() const {
        QFile f(log_);
        return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
    }

  private Q_SLOTS:
    void initTestCase() {
        QDir().mkpath(d(QStringLiteral("work")));
        log_ = d(QStringLiteral("calls.log"));
        // Both programs log each call, then run the real one.
        for (const auto& [name, real] :
             {std::pair{"pdftotext.sh", findExtractor()}, std::pair{"qpdf.sh", findQpdf()}})
            writeScript(dir_.path(), QString::fromLatin1(name),
                        QStringLiteral("echo x >> '%1'\nexec '%2' \"$@\"").arg(log_, real));
        // report.pdf: "kiwi" on page 1, in a comment on page 2, in a field,
        // a bookmark, its title, an attached PDF's page 2 and an attached XML.
        const QString report = d(QStringLiteral("report.pdf"));
        makeTextPdf(report, {QStringLiteral("kiwi one"), QStringLiteral("two")},
                    QStringLiteral("kiwi title"));
        editPdf(report, [](PdfEdit& e) {
            const QString field = e.add({{QStringLiteral("/Type"), QStringLiteral("/Annot")},
                                         {QStringLiteral("/Subtype"), QStringLiteral("/Widget")},
                                         {QStringLiteral("/FT"), QStringLiteral("/Tx")},
                                         {QStringLiteral("/T"), QStringLiteral("u:fruit")},
                                         {QStringLiteral("/V"), QStringLiteral("u:kiwi field")},
                                         {QStringLiteral("/Rect"), QJsonArray{0, 0, 9, 9}}});
            e.pages[1].insert(QStringLiteral("/Annots"),
                              QJsonArray{e.add(annotation(QStringLiteral("/Text"),
                                                          QStringLiteral("kiwi comment"))),
                                         field});
            e.root.insert(QStringLiteral("/AcroForm"),
                          QJsonObject{{QStringLiteral("/Fields"), QJsonArray{field}}});
        });
        makeTextPdf(d(QStringLiteral("appendix.pdf")),
                    {QStringLiteral("a"), QStringLiteral("kiwi b")});
        attachFile(report, d(QStringLiteral("appendix.pdf")));
        writeBytes(d(QStringLiteral("data.xml")), "<kiwi/>");
        attachFile(report, d(QStringLiteral("data.xml")));
        writeBytes(d(QStringLiteral("logo.png")), QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
        attachFile(report, d(QStringLiteral("logo.png")), {}, QStringLiteral("image/png"));
        // locked.pdf: a comment in a file that needs a password.
        const QString plain = d(QStringLiteral("plain.pdf"));
        makeTextPdf(plain, {QStringLiteral("one")});
        editPdf(plain, [](PdfEdit& e) {
            e.pages[0].insert(
                QStringLiteral("/Annots"),
                QJsonArray{annotation(QStringLiteral("/Text"), QStringLiteral("kiwi locked"))});
        });
        QVERIFY(encryptPdf(plain, d(QStringLiteral("locked.pdf")), QStringLiteral("pw"),
                           QStringLiteral("own")));
        writeBytes(d(QStringLiteral("pw.txt")), "pw\n");
    }

    // Each source in both forms of row; without the option, the rows of
    // today. Catches a row with the wrong source, page, field or attachment,
    // or the default touched.
    void rows_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("out");
        const QString r = QStringLiteral("report.pdf");
        QTest::newRow("json")
            << QStringList{QStringLiteral("--all-text"), QStringLiteral("--json"),
                           QStringLiteral("kiwi"), r}
            << QStringList{
                   QStringLiteral(
                       R"({"path":"report.pdf","page":1,"source":"pages","phrase":"kiwi","snippet":"kiwi one\u000a\u000a\u000ctwo\u000a\u000a\u000c..."})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"comments","phrase":"kiwi","snippet":"kiwi comment..."})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"forms","field":"fruit","phrase":"kiwi","snippet":"kiwi field..."})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":null,"source":"properties","field":"Title","phrase":"kiwi","snippet":"kiwi title..."})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"attachments","attachment":"appendix.pdf","phrase":"kiwi","snippet":"a\u000a\u000a\u000ckiwi b\u000a\u000a\u000c..."})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":null,"source":"attachments","attachment":"data.xml","phrase":"kiwi","snippet":"<kiwi/>..."})")};
        QTest::newRow("page numbers")
            << QStringList{QStringLiteral("--text-from=comments,properties,attachments"),
                           QStringLiteral("-n"), QStringLiteral("kiwi"), r}
            << QStringList{QStringLiteral("report.pdf\t2\tkiwi comment..."),
                           QStringLiteral("report.pdf\t-\tkiwi title..."),
                           QStringLiteral("report.pdf » appendix.pdf\t2\ta   kiwi b   ..."),
                           QStringLiteral("report.pdf » data.xml\t-\t<kiwi/>...")};
        QTest::newRow("default")
            << QStringList{QStringLiteral("--json"), QStringLiteral("kiwi"), r}
            << QStringList{QStringLiteral(
                   R"({"path":"report.pdf","page":1,"phrase":"kiwi","snippet":"kiwi one\u000a\u000a\u000ctwo\u000a\u000a\u000c..."})")};
        QTest::newRow("protected")
            << QStringList{QStringLiteral("--text-from=comments"),
                           QStringLiteral("--password-file=pw.txt"), QStringLiteral("-n"),
                           QStringLiteral("kiwi"), QStringLiteral("locked.pdf")}
            << QStringList{QStringLiteral("locked.pdf\t1\tkiwi locked...")};
    }
    void rows() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, out);
        const CliOutcome o = run(args);
        QCOMPARE(o.lines(), out);
    }

    // An attachment neither PDF nor text is named on standard error, the
    // search goes on. Catches a note lost between the engine and the report.
    void notes() {
        const CliOutcome o = run({QStringLiteral("--all-text"), QStringLiteral("-c"),
                                  QStringLiteral("kiwi"), QStringLiteral("report.pdf")});
        QCOMPARE(o.status, 0);
        QVERIFY2(o.err.contains("report.pdf  - attachment not searched: image/png (logo.png)"),
                 o.err);
    }

    // The cache keeps which sets it holds: a second search reads nothing,
    // a search wanting a set not kept reads the file again. Catches an entry
    // of some sets served for others, or no entry kept at all.
    void cache() {
        const auto search = [this](const QString& from) {
            const int before = calls();
            const CliOutcome o =
                run({QStringLiteral("--cache"), QStringLiteral("--text-from=") + from,
                     QStringLiteral("kiwi"), QStringLiteral("report.pdf")});
            return o.status == 0 ? calls() - before : -1;
        };
        QVERIFY(search(QStringLiteral("pages,comments")) > 0);
        QCOMPARE(search(QStringLiteral("pages,comments")), 0);
        QVERIFY(search(QStringLiteral("pages,comments,forms,attachments")) > 0);
        QCOMPARE(search(QStringLiteral("forms,attachments,comments")), 0);
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliAllTextTest)
#include "test_cli_alltext.moc"
