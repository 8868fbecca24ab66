// The add-time check of the window: every listed file goes through the
// extraction pipeline, the files whose text is shorter than 10 bytes are
// reported in one message, in list order, and files extracted before cost
// nothing. Real PDFs are made here; fake extractors write texts of chosen
// lengths or log their calls.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/errorreport.h"
#include "app/form1.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/session.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"
#include "words/words.h"

namespace qm {

using test::writeBytes;

namespace {

QString reportFor(const QStringList& paths) {
    QString listed;
    for (const QString& p : paths) listed += p + QStringLiteral("\r\n");
    return QStringLiteral("These files could not be read:\r\n\r\n") + listed +
           QStringLiteral(
               "\r\nThis program will extract text from a PDF but this program will not "
               "extract text within an image within a PDF.\r\n\r\nEmail ") +
           supportEmail() + QStringLiteral(" if you have any questions.");
}

int lineCount(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
}

// A window without a screen's worth of set-up, with scripted services.
struct Window : test::TestWindow {
    std::vector<int> pointers;  // the window's pointer at every pump

    Window(const QString& iniPath, const QString& extractor) : TestWindow(iniPath) {
        form->ExtractorPath = extractor;
        onTick([this] { pointers.push_back(form->mousePointer()); });
    }
    void check(const QStringList& paths) {
        form->fileList.add(paths);
        form->runAddTimeCheck();
        QVERIFY(test::checkToEnd(*form));
    }
};

}  // namespace

class AddCheckTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d() const { return dir_.path(); }
    QString ini() const { return d() + QStringLiteral("/settings.ini"); }

  private Q_SLOTS:
    void init() { allowExtractions(); }
    void cleanupTestCase() { removeWorkFolder(); }

    void tenByteRule() {
        // A stand-in extractor that writes as many bytes as the file it reads says.
        const QString fake = test::writeScript(
            d(), QStringLiteral("sized"),
            QStringLiteral("out=/dev/stdout\n"
                           "case \"$(cat \"$1\")\" in\n"
                           "nine) printf '123456789' > \"$out\";;\n"
                           "ten) printf '1234567890' > \"$out\";;\n"
                           "ff3) printf '\\f\\f\\f' > \"$out\";;\n"
                           "ff12) printf '\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f' > \"$out\";;\n"
                           "empty) : > \"$out\";;\n"
                           "esac"));
        const QString in = d() + QStringLiteral("/in/");
        const QStringList names{"nine", "ten", "ff3", "ff12", "empty", "none"};
        QStringList paths;
        for (const QString& n : names) {
            paths << in + n + QStringLiteral(".pdf");
            writeBytes(paths.last(), n.toUtf8());
        }
        paths << in + QStringLiteral("nine.pdf");  // listed twice: reported twice
        paths << in + QStringLiteral("missing.pdf");
        Window w(ini(), fake);
        w.check(paths);
        QCOMPARE(w.boxes.messageTexts(),
                 // A run that wrote not one byte of text ("empty", "none") gave no text.
                 QStringList{reportFor({in + "nine.pdf", in + "ff3.pdf",
                                        in + "empty.pdf" + QString::fromLatin1(kProtectedSuffix),
                                        in + "none.pdf" + QString::fromLatin1(kProtectedSuffix),
                                        in + "nine.pdf", in + "missing.pdf"})});
        QCOMPARE(w.boxes.shown[0].title, applicationTitle());
        // Busy while it works, back to the default pointer at the end.
        QVERIFY(!w.pointers.empty());
        for (int p : w.pointers) QCOMPARE(p, int(MousePointer::Busy));
        QCOMPARE(w.form->mousePointer(), int(MousePointer::Default));
        QCOMPARE(w.form->text(), QStringLiteral("Progress Bar"));
        // Every text is gone; of the copies, at most the last one that gave no
        // text stays, until the next copy is made.
        QStringList left;
        for (const QString& sub : QDir(workFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            left << QDir(workFolder() + u'/' + sub).entryList(QDir::Files);
        QVERIFY2(left.size() <= 1, qPrintable(left.join(u' ')));
        if (!left.isEmpty()) QCOMPARE(left[0], QStringLiteral("tmp.pdf"));
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
        // The same base name in another folder.
        test::makeTextPdf(d() + QStringLiteral("/other/Good text.pdf"),
                          {QStringLiteral("More readable text.")});
        const QString extractor = findExtractor();
        QVERIFY2(!extractor.isEmpty(), "pdftotext is needed");

        Window w(ini(), extractor);
        // The password option plays no part: the check never asks.
        w.form->Check1->setChecked(true);
        w.check({in + "Good text.pdf", in + "Scan.pdf", in + "Locked.pdf", in + "Owner only.pdf",
                 in + "Not a PDF.pdf", d() + "/other/Good text.pdf"});
        QCOMPARE(w.boxes.messageTexts(),
                 QStringList{reportFor(
                     {in + "Scan.pdf", in + "Locked.pdf" + QString::fromLatin1(kProtectedSuffix),
                      in + "Not a PDF.pdf" + QString::fromLatin1(kDamagedSuffix)})});
        QVERIFY(w.boxes.inputAnswers.empty());

        // Without an extractor every file is reported.
        Window none(ini(), QString());
        none.check({in + "Good text.pdf", in + "Scan.pdf"});
        QCOMPARE(none.boxes.messageTexts(),
                 QStringList{reportFor({in + "Good text.pdf", in + "Scan.pdf"})});

        // Nothing to report: no message at all.
        Window fine(ini(), extractor);
        fine.check({in + "Good text.pdf"});
        QVERIFY(fine.boxes.shown.empty());
    }

    // The check extracts only files it has not seen as they are, and a search
    // afterwards uses what it extracted.
    void onlyNewOrChangedFilesAreExtracted() {
        const QString real = findExtractor();
        QVERIFY2(!real.isEmpty(), "pdftotext is needed");
        const QString log = d() + QStringLiteral("/check.log");
        const QString ex = test::writeScript(
            d(), QStringLiteral("check.sh"),
            QStringLiteral("echo \"run $*\" >> '%1'\nexec '%2' \"$@\"").arg(log, real));
        const QString in = d() + QStringLiteral("/kept/");
        for (int n = 1; n <= 3; ++n)
            test::makeTextPdf(in + QStringLiteral("t%1.pdf").arg(n),
                              {QStringLiteral("Recipe %1 with alpha and beta").arg(n)});
        test::makeImagePdf(in + QStringLiteral("scan.pdf"));
        writeBytes(in + QStringLiteral("notapdf.pdf"), "this is not a PDF at all");

        Window w(ini(), ex);
        w.check({in + "t1.pdf", in + "scan.pdf", in + "t2.pdf", in + "notapdf.pdf"});
        QCOMPARE(lineCount(log), 4);
        const QStringList first = w.boxes.messageTexts();
        QCOMPARE(first,
                 QStringList{reportFor(
                     {in + "scan.pdf", in + "notapdf.pdf" + QString::fromLatin1(kDamagedSuffix)})});

        // One file more: one extraction more, and the same files reported.
        w.check({in + "t3.pdf"});
        QCOMPARE(lineCount(log), 5);
        QCOMPARE(w.boxes.messageTexts().value(1), first[0]);

        // A changed file is extracted again.
        const QString changed = in + QStringLiteral("changing.pdf");
        test::makeTextPdf(changed, {QStringLiteral("short")});
        w.check({changed});
        QCOMPARE(lineCount(log), 6);
        test::makeTextPdf(changed, {QStringLiteral("a longer text than before, kiwi")});
        w.form->runAddTimeCheck();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(lineCount(log), 7);

        // The search finds every text ready: no extraction at all.
        w.boxes.shown.clear();
        w.form->Text1->setText(QStringLiteral("kiwi"));
        w.form->Option3->setChecked(true);
        QVERIFY(test::searchToEnd(*w.form));
        QCOMPARE(lineCount(log), 7);
        QCOMPARE(w.form->results.rowCount(), 1);
        QCOMPARE(w.form->results.row(0).path, changed);
        const QString report = w.boxes.messageTexts().value(0);
        QVERIFY(report.startsWith(QStringLiteral("Done.")));
        QVERIFY(report.contains(in + QStringLiteral("scan.pdf  - text unreadable.")));
        // A damaged file is a property of its content: kept, and told as such.
        QVERIFY(report.contains(in + QStringLiteral("notapdf.pdf  - not a PDF file")));
    }
};

}  // namespace qm

QTEST_MAIN(qm::AddCheckTest)
#include "test_add_check.moc"
