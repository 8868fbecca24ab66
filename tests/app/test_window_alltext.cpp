// The window's "Also search comments, forms, bookmarks and attachments":
// stored as "AllText" and restored at start-up; ticked, a search finds the
// texts beside the pages, the Page column saying where and the path naming
// the attachment, and the "Done." report naming what was not searched.
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "app/form1.h"
#include "extraction/extractor.h"
#include "support/pdfmaker.h"
#include "support/richpdf.h"
#include "support/scripted.h"
#include "support/window.h"

namespace qm {

class WindowAllTextTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString ini() const { return d(QStringLiteral("settings.ini")); }

  private Q_SLOTS:
    // Catches the box not kept, not restored, or its words cut short.
    void theBoxIsStoredAndRestored() {
        {
            test::TestWindow w(ini());
            QCheckBox* box = w.form->Check4;
            QCOMPARE(box->parentWidget(), w.form->Frame3);
            QVERIFY(box->sizeHint().width() <= box->width());
            QVERIFY(!box->isChecked());
            box->click();
        }
        QCOMPARE(QSettings(ini(), QSettings::IniFormat).value(QStringLiteral("Quillmark/AllText")),
                 QVariant(QStringLiteral("True")));
        Form1::Config loaded;  // with Form_Load, which restores the options
        loaded.endProgram = [] {};
        QVERIFY(test::TestWindow(ini(), loaded).form->Check4->isChecked());
    }

    // Catches rows without their source in the Page column, an attachment's
    // page taken for the file's own, or notes lost before "Done.".
    void aSearchShowsWhereEachRowWasFound() {
        if (findExtractor().isEmpty() || findQpdf().isEmpty())
            QSKIP("poppler-utils or qpdf missing");
        const QString report = d(QStringLiteral("report.pdf"));
        test::makeTextPdf(report, {QStringLiteral("kiwi one"), QStringLiteral("two")},
                          QStringLiteral("kiwi title"));
        test::editPdf(report, [](test::PdfEdit& e) {
            e.pages[1].insert(QStringLiteral("/Annots"),
                              QJsonArray{test::annotation(QStringLiteral("/Text"),
                                                          QStringLiteral("kiwi comment"))});
        });
        test::makeTextPdf(d(QStringLiteral("appendix.pdf")),
                          {QStringLiteral("a"), QStringLiteral("kiwi b")});
        test::attachFile(report, d(QStringLiteral("appendix.pdf")));
        test::writeBytes(d(QStringLiteral("logo.png")), QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
        test::attachFile(report, d(QStringLiteral("logo.png")), {}, QStringLiteral("image/png"));

        test::TestWindow w(ini());
        Form1& form = *w.form;
        form.ExtractorPath = findExtractor();
        w.dialogs.openAnswers.push_back({report});
        form.PushButton1->click();
        QVERIFY(test::checkToEnd(form));
        form.Text1->setText(QStringLiteral("kiwi"));
        const auto shown = [&] {
            QStringList rows;
            const QAbstractItemModel* m = form.ListView2->model();
            for (int r = 0; r < m->rowCount(); ++r)
                rows << form.results.row(r).text(0).mid(dir_.path().size() + 1) + u'|' +
                            m->index(r, 2).data().toString() + u'|' +
                            QString::number(form.results.row(r).page);
            return rows;
        };
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(shown(), QStringList{QStringLiteral("report.pdf|1|1")});
        QCOMPARE(w.boxes.messageTexts().last(), QStringLiteral("Done."));

        form.Check4->setChecked(true);
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(
            shown(),
            (QStringList{QStringLiteral("report.pdf|1|1"),
                         QStringLiteral("report.pdf|2 \u00b7 comment|2"),
                         QStringLiteral("report.pdf|\u2014 \u00b7 title|0"),
                         QStringLiteral("report.pdf \u00bb appendix.pdf|appendix.pdf p. 2|0")}));
        QVERIFY(w.boxes.messageTexts().last().endsWith(
            QStringLiteral("report.pdf  - attachment not searched: image/png (logo.png)")));
    }
};

}  // namespace qm

QTEST_MAIN(qm::WindowAllTextTest)
#include "test_window_alltext.moc"
