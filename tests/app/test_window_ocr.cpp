// The window's "Read scanned pages (OCR)": stored as "OCR" and restored at
// start-up, unavailable (with the package named) without tesseract, and a
// search that reads scanned pages only when ticked, the bar naming the page
// read, while the add-time check never reads any. tesseract is a logging
// stand-in given through the window's configuration.
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/form1.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "platform/settings.h"
#include "support/pdfmaker.h"
#include "support/scanmaker.h"
#include "support/scripted.h"
#include "support/window.h"

namespace qm {

class WindowOcrTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString ini_, tesseract_, log_;

    // A window started as the program starts it, with `tesseract` (empty: none).
    struct Window : test::TestWindow {
        Window(const QString& ini, const QString& tesseract)
            : test::TestWindow(ini, [&] {
                  Form1::Config config;
                  config.tesseract = tesseract;
                  return config;
              }()) {}
    };
    QString stored() const {
        QSettings s(ini_, QSettings::IniFormat);
        return s.value(QStringLiteral("Quillmark/OCR"), QStringLiteral("<missing>")).toString();
    }
    void store(const QString& value) {
        QSettings s(ini_, QSettings::IniFormat);
        s.setValue(QStringLiteral("Quillmark/OCR"), value);
    }

  private Q_SLOTS:
    void initTestCase() {
        test::FakeTesseract fake;
        log_ = d(QStringLiteral("tesseract.log"));
        fake.logPath = log_;
        fake.sleepSeconds = 1;
        QDir().mkpath(d(QStringLiteral("bin")));
        tesseract_ = test::writeFakeTesseract(d(QStringLiteral("bin")), fake);
    }
    void init() {
        allowExtractions();
        ini_ = d(QStringLiteral("settings.ini"));
        QFile::remove(ini_);
        QFile::remove(log_);
    }

    void theBoxIsStoredAndRestored() {
        {
            Window w(ini_, tesseract_);
            QCheckBox* box = w.form->Check3;
            QCOMPARE(box->parentWidget(), w.form->Frame3);
            QCOMPARE(box->text(), QStringLiteral("Read scanned pages (OCR)"));
            QVERIFY(box->isEnabled());
            QVERIFY(!box->isChecked());  // the default
            QCOMPARE(stored(), QStringLiteral("<missing>"));
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
            QCOMPARE(stored(), QStringLiteral("True"));
        }
        QVERIFY(Window(ini_, tesseract_).form->Check3->isChecked());
        store(QStringLiteral("False"));
        QVERIFY(!Window(ini_, tesseract_).form->Check3->isChecked());
        // A value that is no truth value is reported, and the box stays clear.
        store(QStringLiteral("maybe"));
        Window bad(ini_, tesseract_);
        QVERIFY(!bad.form->Check3->isChecked());
        QCOMPARE(bad.boxes.shown.size(), std::size_t(1));
        QVERIFY(bad.boxes.shown[0].text.contains(QLatin1String("OCR")));
    }

    void withoutTesseractTheBoxIsUnavailableAndNamesThePackage() {
        store(QStringLiteral("True"));
        Window w(ini_, QString());
        QVERIFY(!w.form->Check3->isEnabled());
        QVERIFY(!w.form->Check3->isChecked());
        QVERIFY(w.form->Check3->toolTip().contains(QLatin1String("tesseract-ocr")));
        QCOMPARE(stored(), QStringLiteral("True"));  // kept for when it is installed
        QVERIFY(w.boxes.shown.empty());
    }

    void aSearchReadsScannedPagesOnlyWhenTickedAndTheCheckNever() {
        if (findExtractor().isEmpty() || findPdftoppm().isEmpty() || findPdfimages().isEmpty())
            QSKIP("poppler-utils is not installed");
        const QString scan = d(QStringLiteral("scanned.pdf"));
        test::makeScannedPdf(scan, {"a sheet"}, 100);
        Window w(ini_, tesseract_);
        Form1& form = *w.form;
        w.dialogs.openAnswers.push_back({scan});
        form.PushButton1->click();  // the add-time check: reported, never read
        QVERIFY(test::checkToEnd(form));
        QVERIFY(w.boxes.messageTexts().last().contains(scan));
        QVERIFY(test::fakeTesseractLog(log_).isEmpty());

        form.Text1->setText(QStringLiteral("scanned words"));
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(form.results.rowCount(), 0);
        QVERIFY(w.boxes.messageTexts().last().contains(QLatin1String("text unreadable")));
        QVERIFY(test::fakeTesseractLog(log_).isEmpty());

        form.Check3->setChecked(true);
        QStringList shown;
        QTimer sample;
        connect(&sample, &QTimer::timeout, this, [&] { shown << form.text(); });
        sample.start(20);
        QVERIFY(test::searchToEnd(form));
        sample.stop();
        QCOMPARE(form.results.rowCount(), 1);
        QCOMPARE(form.results.row(0).page, 1);
        QCOMPARE(w.boxes.messageTexts().last(), QStringLiteral("Done."));
        QCOMPARE(test::fakeTesseractLog(log_).size(), 1);
        QVERIFY(shown.contains(QStringLiteral("Reading page 1 of 1 (OCR): scanned.pdf")));
    }

    // Fault caught: a tesseract that does not answer turns the ticked box into
    // a plain search without a word.
    void aTesseractThatDoesNotAnswerIsSaidOnce() {
        const QString broken = test::writeScript(
            d(QStringLiteral("broken")), QStringLiteral("tesseract"), QStringLiteral("exit 1"));
        if (findExtractor().isEmpty()) QSKIP("poppler-utils is not installed");
        const QString typed = d(QStringLiteral("typed.pdf"));
        test::makeTextPdf(typed, {QStringLiteral("typed words")});
        store(QStringLiteral("True"));
        Window w(ini_, broken);
        w.dialogs.openAnswers.push_back({typed});
        w.form->PushButton1->click();
        QVERIFY(test::checkToEnd(*w.form));
        w.form->Text1->setText(QStringLiteral("typed"));
        QVERIFY(test::searchToEnd(*w.form));
        QVERIFY(test::searchToEnd(*w.form));
        const QStringList said = w.boxes.messageTexts();
        QCOMPARE(said.filter(QStringLiteral("did not answer")).size(), 1);
        QVERIFY(said.filter(QStringLiteral("did not answer"))[0].contains(
            QLatin1String("tesseract-ocr")));
    }
};

}  // namespace qm

QTEST_MAIN(qm::WindowOcrTest)
#include "test_window_ocr.moc"
