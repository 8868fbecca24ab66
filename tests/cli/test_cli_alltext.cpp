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

using namespace Qt::StringLiterals;

using namespace test;

class CliAllTextTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString log_;

    CliOutcome run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TEMP"_s, d(u"work"_s));
        env.insert(u"XDG_CACHE_HOME"_s, d(u"xdg"_s));
        env.insert(u"QM_EXTRACTOR"_s, d(u"pdftotext.sh"_s));
        env.insert(u"QM_QPDF"_s, d(u"qpdf.sh"_s));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_.path());
        p.start(cliProgram(), QStringList{u"--no-progress"_s} + args);
        return finishCli(p);
    }
    int calls() const {
        QFile f(log_);
        return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
    }

  private Q_SLOTS:
    void initTestCase() {
        QDir().mkpath(d(u"work"_s));
        log_ = d(u"calls.log"_s);
        // Both programs log each call, then run the real one.
        for (const auto& [name, real] :
             {std::pair{"pdftotext.sh", findExtractor()}, std::pair{"qpdf.sh", findQpdf()}})
            writeScript(dir_.path(), QString::fromLatin1(name),
                        u"echo x >> '%1'\nexec '%2' \"$@\""_s.arg(log_, real));
        makeReviewCopy(dir_.path());
        // locked.pdf: a comment in a file that needs a password.
        const QString plain = d(u"plain.pdf"_s);
        makeTextPdf(plain, {u"one"_s});
        editPdf(plain, [](PdfEdit& e) {
            e.pages[0][u"/Annots"_s] = QJsonArray{annotation(u"/Text"_s, u"kiwi locked"_s)};
        });
        QVERIFY(encryptPdf(plain, d(u"locked.pdf"_s), u"pw"_s, u"own"_s));
        writeBytes(d(u"pw.txt"_s), "pw\n");
    }

    // Each source in both forms of row; without the option, the rows of
    // today. Catches a row with the wrong source, page, field or attachment
    // (an attached text without the page of the annotation carrying it), or
    // the default touched.
    void rows_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("out");
        const QString r = u"report.pdf"_s;
        QTest::newRow("json")
            << QStringList{u"--all-text"_s, u"--json"_s, u"kiwi"_s, r}
            << QStringList{
                   QStringLiteral(
                       R"({"path":"report.pdf","page":1,"source":"pages","phrase":"kiwi","snippet":"kiwi one\u000a\u000a\u000ctwo\u000a\u000a\u000c...","match":"kiwi"})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"comments","phrase":"kiwi","snippet":"kiwi comment...","match":"kiwi"})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"forms","field":"fruit","phrase":"kiwi","snippet":"kiwi field...","match":"kiwi"})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":null,"source":"properties","field":"Title","phrase":"kiwi","snippet":"kiwi title...","match":"kiwi"})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"attachments","attachment":"appendix.pdf","phrase":"kiwi","snippet":"a\u000a\u000a\u000ckiwi b\u000a\u000a\u000c...","match":"kiwi"})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":null,"source":"attachments","attachment":"data.xml","phrase":"kiwi","snippet":"<kiwi/>...","match":"kiwi"})"),
                   QStringLiteral(
                       R"({"path":"report.pdf","page":2,"source":"attachments","attachment":"notes.txt","phrase":"kiwi","snippet":"kiwi carried...","match":"kiwi"})")};
        QTest::newRow("page numbers")
            << QStringList{u"--text-from=comments,properties,attachments"_s, u"-n"_s, u"kiwi"_s, r}
            << QStringList{u"report.pdf\t2\tkiwi comment..."_s, u"report.pdf\t-\tkiwi title..."_s,
                           u"report.pdf » appendix.pdf\t2\ta   kiwi b   ..."_s,
                           u"report.pdf » data.xml\t-\t<kiwi/>..."_s,
                           u"report.pdf » notes.txt\t2\tkiwi carried..."_s};
        QTest::newRow("default")
            << QStringList{u"--json"_s, u"kiwi"_s, r}
            << QStringList{QStringLiteral(
                   R"({"path":"report.pdf","page":1,"phrase":"kiwi","snippet":"kiwi one\u000a\u000a\u000ctwo\u000a\u000a\u000c...","match":"kiwi"})")};
        QTest::newRow("protected")
            << QStringList{u"--text-from=comments"_s, u"--password-file=pw.txt"_s, u"-n"_s,
                           u"kiwi"_s, u"locked.pdf"_s}
            << QStringList{u"locked.pdf\t1\tkiwi locked..."_s};
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
        const CliOutcome o = run({u"--all-text"_s, u"-c"_s, u"kiwi"_s, u"report.pdf"_s});
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
                run({u"--cache"_s, u"--text-from="_s + from, u"kiwi"_s, u"report.pdf"_s});
            return o.status == 0 ? calls() - before : -1;
        };
        QVERIFY(search(u"pages,comments"_s) > 0);
        QCOMPARE(search(u"pages,comments"_s), 0);
        QVERIFY(search(u"pages,comments,forms,attachments"_s) > 0);
        QCOMPARE(search(u"forms,attachments,comments"_s), 0);
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliAllTextTest)
#include "test_cli_alltext.moc"
