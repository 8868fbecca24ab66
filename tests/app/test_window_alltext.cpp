// The window's "Also search comments, forms, bookmarks and attachments":
// stored as "AllText" and restored at start-up; ticked, a search finds the
// texts beside the pages, the Page column saying where and the path naming
// the attachment, and the "Done." report naming what was not searched.
#include <QCheckBox>
#include <QGroupBox>
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

using namespace Qt::StringLiterals;

class WindowAllTextTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString ini() const { return dir_.path() + u"/settings.ini"_s; }

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
        QCOMPARE(QSettings(ini(), QSettings::IniFormat).value(u"Quillmark/AllText"_s),
                 QVariant(u"True"_s));
        Form1::Config loaded;  // with Form_Load, which restores the options
        loaded.endProgram = [] {};
        QVERIFY(test::TestWindow(ini(), loaded).form->Check4->isChecked());
    }

    // Catches rows without their source in the Page column, an attachment's
    // page taken for the file's own, one an annotation carries not opened at
    // that annotation's page (the row's page), or notes lost before "Done.".
    void aSearchShowsWhereEachRowWasFound() {
        if (findExtractor().isEmpty() || findQpdf().isEmpty())
            QSKIP("poppler-utils or qpdf missing");
        const QString report = test::makeReviewCopy(dir_.path());

        test::TestWindow w(ini());
        Form1& form = *w.form;
        form.ExtractorPath = findExtractor();
        w.dialogs.openAnswers.push_back({report});
        form.PushButton1->click();
        QVERIFY(test::checkToEnd(form));
        form.Text1->setText(u"kiwi"_s);
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
        QCOMPARE(shown(), QStringList{u"report.pdf|1|1"_s});
        QCOMPARE(w.boxes.messageTexts().last(), u"Done."_s);

        form.Check4->setChecked(true);
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(shown(), (QStringList{u"report.pdf|1|1"_s, u"report.pdf|2 \u00b7 comment|2"_s,
                                       u"report.pdf|2 \u00b7 field fruit|2"_s,
                                       u"report.pdf|\u2014 \u00b7 title|0"_s,
                                       u"report.pdf \u00bb appendix.pdf|appendix.pdf p. 2|0"_s,
                                       u"report.pdf \u00bb data.xml|data.xml|0"_s,
                                       u"report.pdf \u00bb notes.txt|2 \u00b7 notes.txt|2"_s}));
        QVERIFY(w.boxes.messageTexts().last().endsWith(
            u"report.pdf  - attachment not searched: image/png (logo.png)"_s));
    }
};

}  // namespace qm

QTEST_MAIN(qm::WindowAllTextTest)
#include "test_window_alltext.moc"
