// The unreadable-text checks: the readability test of extracted text, the
// file size, and the add-time check over real PDFs (made here) and fake
// extractors that write texts of chosen lengths.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/readability.h"
#include "extraction/extractor.h"
#include "filelist/filelist.h"
#include "platform/error.h"
#include "platform/settings.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"

namespace qm {

using test::writeBytes;

class TextChecksTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString work_;
    QString d() const { return dir_.path(); }

    struct Check {
        ScriptedMessageBoxes boxes;
        ScriptedEventPump pump;
        ScriptedProgressBar bar;
        ScriptedMousePointer pointer;
        Services services{&boxes, &pump, nullptr, nullptr, nullptr, nullptr};
        FileList list;
        CheckContext context(const QString& extractor, const QString& work) {
            return {&services, &bar, &pointer, extractor, work};
        }
    };

    static QString reportFor(const QStringList& paths) {
        QString listed;
        for (const QString& p : paths) listed += p + QStringLiteral("\r\n");
        return QStringLiteral("These files could not be read:\r\n\r\n") + listed +
               QStringLiteral(
                   "\r\nThis program will extract text from a PDF but this program will not "
                   "extract text within an image within a PDF.\r\n\r\nEmail ") +
               supportEmail() + QStringLiteral(" if you have any questions.");
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        work_ = d() + QStringLiteral("/work");
        QDir().mkpath(work_);
    }

    void noTextPdf_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("three form feeds") << QByteArray("\f\f\f") << true;
        QTest::newRow("twelve form feeds") << QByteArray(12, '\f') << true;
        QTest::newRow("five letters and a page break") << QByteArray("abcde\f") << true;
        QTest::newRow("six letters and page breaks") << QByteArray("abcdef\f\f\f\f") << false;
        QTest::newRow("page breaks before six letters") << QByteArray("\f\f\fab\fcdef") << false;
        QTest::newRow("five letters only") << QByteArray("abcde") << false;
        QTest::newRow("six blanks") << QByteArray("      ") << false;
        QTest::newRow("tabs only") << QByteArray("\t\t\t\t\t\t\t") << true;
        QTest::newRow("line ends are not characters") << QByteArray("ab\r\ncd\n") << false;
        QTest::newRow("a lone CR is") << QByteArray("ab\rcd") << true;
        QTest::newRow("accented letters count")
            << QByteArray("\xc3\xa9\xc3\xa8\xc3\xaa\xc3\xab\xc3\xa0\xc3\xa2\f") << false;
        QTest::newRow("Latin-1 bytes read as letters")
            << QByteArray("\xe9\xe8\xea\xeb\xe0\xe2\f") << false;
        QTest::newRow("codes 127-159 do not count")
            << QByteArray(
                   "\x7f\xc2\x80\xc2\x85\xc2\x9f\xc2\x90\xc2\x91"
                   "abc")
            << true;
        QTest::newRow("Greek and Cyrillic count")
            << QByteArray("\xce\xb1\xce\xb2\xd0\x96\xd0\xb6\xe4\xb8\xad\f")
            << true;  // five printable code points
        QTest::newRow("six of them")
            << QByteArray("\xce\xb1\xce\xb2\xd0\x96\xd0\xb6\xe4\xb8\xad\xe4\xb8\xad\f") << false;
        // Long texts: the decision may lie beyond the first look at the file.
        QTest::newRow("long run of page breaks") << QByteArray(200000, '\f') << true;
        QTest::newRow("letters after a long run")
            << QByteArray(200000, '\f') + QByteArray("abcdef") << false;
        QTest::newRow("CR LF across the first look")
            << QByteArray(65535, '\f') + QByteArray("\r\nab") + QByteArray(70000, '\n') << true;
        QTest::newRow("letter split across the first look")
            << QByteArray(65535, '\n') +
                   QByteArray("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9")
            << false;
    }

    void noTextPdf() {
        QFETCH(QByteArray, text);
        QFETCH(bool, unreadable);
        const QString path = d() + QStringLiteral("/nt.txt");
        writeBytes(path, text);
        QCOMPARE(NoTextPDF(path), unreadable);
        ScriptedMessageBoxes boxes;
        QCOMPARE(NoTextPDF(path, boxes), unreadable);
        QVERIFY(boxes.shown.empty());
    }

    void noTextPdfReportsAMissingFile() {
        const QString missing = d() + QStringLiteral("/none.txt");
        QVERIFY_THROWS_EXCEPTION(Error, NoTextPDF(missing));
        ScriptedMessageBoxes boxes;
        QCOMPARE(NoTextPDF(missing, boxes), false);
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY(boxes.shown[0].text.contains(
            QStringLiteral("in Kestrova2021/08/31.Main.NoTextPDF at line 100")));
        QCOMPARE(boxes.shown[0].title, QStringLiteral("Application Error"));
    }

    void fileSize() {
        writeBytes(d() + QStringLiteral("/twelve"), QByteArray(12, 'x'));
        QCOMPARE(FileSize2(d() + QStringLiteral("/twelve")), 12);
        writeBytes(d() + QStringLiteral("/zero"), QByteArray());
        QCOMPARE(FileSize2(d() + QStringLiteral("/zero")), 0);
        QCOMPARE(FileSize2(d() + QStringLiteral("/missing")), -1);
        QCOMPARE(FileSize2(QString()), -1);
        QCOMPARE(FileSize2(d()), -1);  // a folder does not open as a file
    }

    void tenByteRule() {
        // A stand-in extractor that writes as many bytes as the file's name says.
        const QString fake = test::writeScript(
            d(), QStringLiteral("sized"),
            QStringLiteral("case \"$1\" in\n"
                           "*nine*) printf '123456789' > \"$2\";;\n"
                           "*ten*) printf '1234567890' > \"$2\";;\n"
                           "*ff3*) printf '\\f\\f\\f' > \"$2\";;\n"
                           "*ff12*) printf '\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f' > \"$2\";;\n"
                           "*empty*) : > \"$2\";;\n"
                           "esac"));
        Check c;
        const QStringList names{"nine.pdf", "ten.pdf",   "ff3.pdf",
                                "ff12.pdf", "empty.pdf", "none.pdf"};
        for (const QString& n : names) c.list.add(d() + QStringLiteral("/in/") + n);
        c.list.add(d() + QStringLiteral("/in/nine.pdf"));  // listed twice: reported twice
        CheckByCodeNotPreviewTextbox(c.context(fake, work_), c.list);
        const QString in = d() + QStringLiteral("/in/");
        QCOMPARE(c.boxes.messageTexts(),
                 QStringList{reportFor({in + "nine.pdf", in + "ff3.pdf", in + "empty.pdf",
                                        in + "none.pdf", in + "nine.pdf"})});
        QCOMPARE(c.boxes.shown[0].title, applicationTitle());
        QCOMPARE(c.pointer.history, (std::vector<int>{11, 0}));
        QVERIFY(QDir(work_).entryList(QDir::Files).isEmpty());  // every output deleted
        QVERIFY(c.pump.count >= int(names.size()) + 1);
    }

    void realPdfs() {
        const QString in = d() + QStringLiteral("/real dir/ünï 'q' \"dq\"/");
        test::makeTextPdf(in + QStringLiteral("Good text.pdf"),
                          {QStringLiteral("Plenty of readable text on this page.")});
        test::makeTextPdf(in + QStringLiteral("plain.pdf"), {QStringLiteral("Also readable.")});
        test::makeImagePdf(in + QStringLiteral("Scan.pdf"));
        QVERIFY(test::encryptPdf(in + QStringLiteral("plain.pdf"),
                                 in + QStringLiteral("Locked.pdf"), QStringLiteral("secret"),
                                 QStringLiteral("secret")));
        QVERIFY(test::encryptPdf(in + QStringLiteral("plain.pdf"),
                                 in + QStringLiteral("Owner only.pdf"), QString(),
                                 QStringLiteral("boss")));
        writeBytes(in + QStringLiteral("Not a PDF.pdf"), "just some words, not a PDF");
        // The same base name in another folder uses the same output file in turn.
        test::makeTextPdf(d() + QStringLiteral("/other/Good text.pdf"),
                          {QStringLiteral("More readable text.")});

        Check c;
        c.list.add({in + "Good text.pdf", in + "Scan.pdf", in + "Locked.pdf", in + "Owner only.pdf",
                    in + "Not a PDF.pdf", d() + "/other/Good text.pdf"});
        const QString extractor = FindExtractor();
        QVERIFY2(!extractor.isEmpty(), "pdftotext is needed");
        // The password option plays no part: the check never asks.
        CheckByCodeNotPreviewTextbox(c.context(extractor, work_), c.list);
        QCOMPARE(
            c.boxes.messageTexts(),
            QStringList{reportFor({in + "Scan.pdf", in + "Locked.pdf", in + "Not a PDF.pdf"})});
        QVERIFY(c.boxes.questionAnswers.empty());
        QVERIFY(QDir(work_).entryList(QDir::Files).isEmpty());
        QCOMPARE(c.bar.texts.last(), QStringLiteral("Progress Bar"));

        // Without an extractor every file is reported.
        Check none;
        none.list.add({in + "Good text.pdf", in + "Scan.pdf"});
        CheckByCodeNotPreviewTextbox(none.context(QString(), work_), none.list);
        QCOMPARE(none.boxes.messageTexts(),
                 QStringList{reportFor({in + "Good text.pdf", in + "Scan.pdf"})});

        // Nothing to report: no message at all.
        Check fine;
        fine.list.add(in + "Good text.pdf");
        CheckByCodeNotPreviewTextbox(fine.context(extractor, work_), fine.list);
        QVERIFY(fine.boxes.shown.empty());
        QCOMPARE(fine.pointer.history, (std::vector<int>{11, 0}));
    }

    void extractorSetUp() {
        const QString found = FindExtractor();
        QVERIFY(QFileInfo(found).isAbsolute());
        QVERIFY(QFileInfo(found).isExecutable());
        QCOMPARE(QFileInfo(found).fileName(), QStringLiteral("pdftotext"));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", d().toUtf8());
        const QString missing = FindExtractor();
        qputenv("PATH", oldPath);
        QCOMPARE(missing, QString());
        QVERIFY(extractorMissingMessage().contains(QStringLiteral("poppler-utils")));
    }
};

}  // namespace qm

QTEST_MAIN(qm::TextChecksTest)
#include "test_text_checks.moc"
