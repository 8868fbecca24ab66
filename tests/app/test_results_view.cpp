// The results as a person works with them: sorted by a column's title,
// filtered, counted under the list, the whole phrase in its context, exports
// that take what is shown, the desktop's colours.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "app/form1.h"
#include "app/resultsstatus.h"
#include "app/resultsview.h"
#include "support/pdfmaker.h"
#include "support/window.h"

namespace qm {

class ResultsViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;

    // The window as the program opens it (with Form_Load); closing it ends nothing.
    static Form1::Config opened() {
        Form1::Config config;
        config.endProgram = [] {};
        return config;
    }

    static QStringList shownPaths(Form1& f) {
        QStringList out;
        const QAbstractItemModel* m = f.ListView2->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, 0).data().toString() + u':' + m->index(r, 2).data().toString();
        return out;
    }

  private Q_SLOTS:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
    }

    // What the line under the results says. Catches a wrong count, a plural
    // for one, the filter's count lost, a stopped run called done.
    void statusLineTexts() {
        const struct {
            ResultsCount c;
            const char* count;
            const char* unreadable;
        } cases[] = {
            {{1902, 1902, false, 97, false, true, false, 358, 358, 22},
             "1,902 results in 97 files",
             "22 files could not be read"},
            {{1, 1, false, 1, false, true, false, 3, 3, 1},
             "1 result in 1 file",
             "1 file could not be read"},
            {{340, 340, false, 12, false, true, true, 12, 97, 0},
             "Stopped: 340 results in 12 of 97 files",
             ""},
            {{1902, 40, true, 97, false, true, false, 358, 358, 0},
             "Showing 40 of 1,902 results",
             ""},
            {{5, 5, false, 2, true, false, false, 0, 0, 0}, "5 results in 2 files so far", ""},
            {{0, 0, false, 0, false, false, false, 0, 0, 0}, "", ""},
        };
        for (const auto& c : cases) {
            const ResultsStatusText t = resultsStatusText(c.c);
            QCOMPARE(t.count, QString::fromUtf8(c.count));
            QCOMPARE(t.unreadable, QString::fromUtf8(c.unreadable));
        }
    }

    // A title's clicks sort by it, reverse, and return to the order found; a
    // filter shows the matching rows; the row picked is the list's row under
    // the sort; the exports take the rows shown, in the order shown. Catches
    // a header that does not sort, a picked row taken from the list's order,
    // an export that ignores the view.
    void sortFilterPickAndExportFollowTheView() {
        test::TestWindow w(tmp->filePath(QStringLiteral("Veltrane.ini")));
        Form1& f = *w.form;
        const struct {
            const char* path;
            int page;
        } rows[] = {{"/d/f10.pdf", 2}, {"/d/f2.pdf", 9}, {"/d/f10.pdf", 1}, {"/e/g.pdf", 4}};
        for (const auto& r : rows)
            f.results.addRow(QString::fromUtf8(r.path), QStringLiteral("...kiwi..."), r.page);
        f.results.publish();
        QHeaderView* header = f.ListView2->header();

        Q_EMIT header->sectionClicked(0);
        QCOMPARE(shownPaths(f),
                 QStringList({"/d/f2.pdf:9", "/d/f10.pdf:1", "/d/f10.pdf:2", "/e/g.pdf:4"}));
        QVERIFY(header->isSortIndicatorShown());
        Q_EMIT header->sectionClicked(0);
        QCOMPARE(shownPaths(f).first(), QStringLiteral("/e/g.pdf:4"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        Q_EMIT header->sectionClicked(0);
        QCOMPARE(shownPaths(f),
                 QStringList({"/d/f10.pdf:2", "/d/f2.pdf:9", "/d/f10.pdf:1", "/e/g.pdf:4"}));
        QVERIFY(!header->isSortIndicatorShown());

        // A row found while sorted takes its place (a moment later, so that
        // a search adding rows file by file does not lay the view out for each).
        Q_EMIT header->sectionClicked(0);
        f.results.addRow(QStringLiteral("/d/f1.pdf"), QStringLiteral("...kiwi..."), 5);
        f.results.publish();
        QTRY_COMPARE(shownPaths(f).first(), QStringLiteral("/d/f1.pdf:5"));
        QCOMPARE(shownPaths(f).size(), 5);
        Q_EMIT header->sectionClicked(0);
        Q_EMIT header->sectionClicked(0);  // as found again
        f.results.clear();
        for (const auto& r : rows)
            f.results.addRow(QString::fromUtf8(r.path), QStringLiteral("...kiwi..."), r.page);
        f.results.publish();

        Q_EMIT header->sectionClicked(2);  // by page
        QTest::keyClicks(f.ResultsFilter, QStringLiteral("D/F"));
        QCOMPARE(shownPaths(f), QStringList({"/d/f10.pdf:1", "/d/f10.pdf:2", "/d/f2.pdf:9"}));
        QCOMPARE(f.ResultsStatus->text(), QStringLiteral("Showing 3 of 4 results"));
        f.ListView2->setCurrentIndex(f.ListView2->model()->index(2, 0));
        QCOMPARE(f.results.selectedRow(), 1);

        const QString saved = tmp->filePath(QStringLiteral("shown.txt"));
        w.dialogs.saveAnswers.push_back(saved);
        f.PushButton4_Click();
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Results (File)\t Where\t\r\n"
                                            "/d/f10.pdf\t...kiwi...\t\r\n"
                                            "/d/f10.pdf\t...kiwi...\t\r\n"
                                            "/d/f2.pdf\t...kiwi...\t\r\n"));

        // Escape empties the filter, and every row shows again.
        QTest::keyClick(f.ResultsFilter, Qt::Key_Escape);
        QVERIFY(f.ResultsFilter->text().isEmpty());
        QCOMPARE(f.ListView2->model()->rowCount(), 4);
    }

    // A hit that runs over a line break keeps all of its phrase in the context
    // the view shows, and the count says what the search found. Catches the
    // context cut at the snippet's 30 characters.
    void aLooseHitShowsItsWholePhrase() {
        const QString pdf = tmp->filePath(QStringLiteral("wrap.pdf"));
        test::makeTextPdf(
            pdf, {QStringLiteral("This notice is copyrighted and\nyou may not change it at all")});
        test::TestWindow w(tmp->filePath(QStringLiteral("Veltrane.ini")), opened());
        Form1& f = *w.form;
        f.Check2->setChecked(true);
        f.Text1->setText(QStringLiteral("copyrighted and you may not"));
        f.fileList.add(pdf);
        QVERIFY(test::searchToEnd(f));
        QCOMPARE(w.boxes.messageTexts(), QStringList{QStringLiteral("Done.")});
        QCOMPARE(f.results.rowCount(), 1);
        const ResultRow& row = f.results.row(0);
        const QString context = QString::fromUtf8(row.context);
        const QPoint match =
            f.ListView2->model()->index(0, 1).data(ResultsView::kMatchRole).toPoint();
        QCOMPARE(context.mid(match.x(), match.y()).simplified(),
                 QStringLiteral("copyrighted and you may not"));
        QVERIFY(context.contains(QStringLiteral("change it at all")));
        // The exported snippet is cut from it as before: 30 characters.
        QCOMPARE(row.text(1), QStringLiteral("...This notice is copyrighted and..."));
        QCOMPARE(f.ResultsStatus->text(), QStringLiteral("1 result in 1 file"));
    }

    // More than ten files are opened only when the user says so. Catches a
    // hundred viewer windows opened at one click.
    void openAllFilesAsksBeforeOpeningMany() {
        test::TestWindow w(tmp->filePath(QStringLiteral("Veltrane.ini")));
        Form1& f = *w.form;
        for (int i = 0; i < 11; ++i) {
            const QString path = tmp->filePath(QStringLiteral("f%1.pdf").arg(i));
            test::writeBytes(path, "%PDF");
            f.results.addRow(path, QStringLiteral("..."));
        }
        f.results.publish();
        w.boxes.answerQuestion(false);
        f.PushButton3_Click();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Open 11 files in the PDF viewer?"));
        QVERIFY(w.desktop.opened.isEmpty());
        QVERIFY(w.desktop.started.empty());
    }

    // Under a dark theme the window takes the theme's ground and text and the
    // desktop's font family; the phrase field has the focus. Catches the
    // white ground with the theme's light text, a fixed font family.
    void followsTheDesktopsPaletteAndFont() {
        const QPalette before = QApplication::palette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Text, QColor(0xf0, 0xf0, 0xf0));
        QApplication::setPalette(dark);
        {
            test::TestWindow w(tmp->filePath(QStringLiteral("Veltrane.ini")), opened());
            Form1& f = *w.form;
            QCOMPARE(f.palette().color(QPalette::Window), dark.color(QPalette::Base));
            QCOMPARE(f.Option2->palette().color(QPalette::WindowText), dark.color(QPalette::Text));
            QCOMPARE(f.Frame2->palette().color(QPalette::WindowText), dark.color(QPalette::Text));
            QCOMPARE(f.PushButton7->font().family(), QApplication::font().family());
            f.show();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            QCOMPARE(QApplication::focusWidget(), f.Text1);
        }
        QApplication::setPalette(before);
    }
};

}  // namespace qm

QTEST_MAIN(qm::ResultsViewTest)
#include "test_results_view.moc"
