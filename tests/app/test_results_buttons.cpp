// The results buttons of the main window, driven with scripted services: the
// messages, their order, the busy pointer, the error reports, and the results
// view's check boxes.

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "app/form1.h"
#include "platform/settings.h"
#include "results/exports.h"
#include "support/filesizelimit.h"
#include "support/scripted.h"
#include "support/window.h"
#include "text/error.h"

namespace qm {

class ResultsButtonsTest : public QObject {
    Q_OBJECT

    struct Window : test::TestWindow {
        std::vector<qsizetype> waits;  // documents opened when each wait began

        explicit Window(const QString& workbookFolder = QString()) {
            Form1::Config config = test::windowConfig();
            config.workbookFolder = workbookFolder;
            open(config);
            form->waitSeconds_ = [this](int seconds) {
                QCOMPARE(seconds, 1);
                waits.push_back(desktop.opened.size());
            };
        }
        void add(const QString& path, const QString& snippet) {
            form->results.addRow(path, snippet);
            form->results.publish();
        }
        // The texts of the OK-only boxes, in order.
        QStringList messages() const { return boxes.messageTexts(); }
    };

    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void touch(const QString& path, const QByteArray& bytes = "%PDF-1.4\n") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static void checkTitles(const Window& w) {
        for (const auto& s : w.boxes.shown)
            if (s.icon != MessageBoxes::Icon::Warning) QCOMPARE(s.title, applicationTitle());
    }

  private Q_SLOTS:
    void emptyListGivesEachButtonsOwnAnswer() {
        Window w;
        w.form->PushButton11_Click();
        QCOMPARE(w.messages(), QStringList{QStringLiteral("No PDF selected in Results list.")});
        w.form->PushButton3_Click();
        QCOMPARE(w.messages().last(), QStringLiteral("No file selected in Results list."));
        QVERIFY(w.desktop.opened.isEmpty());
        QVERIFY(w.form->pointers.empty());

        // The save dialog comes first; the empty list is noticed afterwards.
        QTemporaryDir dir;
        const QString target = dir.path() + QStringLiteral("/r.txt");
        w.dialogs.saveAnswers.push_back(target);
        w.form->PushButton4_Click();
        QCOMPARE(w.dialogs.requests.size(), size_t(1));
        QCOMPARE(w.dialogs.requests[0].kind, QStringLiteral("save"));
        QCOMPARE(w.dialogs.requests[0].title, QStringLiteral("Save List"));
        QCOMPARE(w.dialogs.requests[0].filter, QStringLiteral("Text Files (*.txt);;All Files (*)"));
        QCOMPARE(w.messages().last(), QStringLiteral("There are no results to save."));
        QVERIFY(!QFile::exists(target));

        // The spreadsheet button does nothing at all.
        const auto shown = w.boxes.shown.size();
        w.form->PushButton13_Click();
        QCOMPARE(w.boxes.shown.size(), shown);
        QVERIFY(w.desktop.asked.isEmpty());

        // The clipboard keeps its text, and no copy is claimed (catches the
        // confirmation of a copy that never happened).
        w.clipboard.value = QStringLiteral("kept");
        w.form->PushButton8_Click();
        QCOMPARE(w.clipboard.value, QStringLiteral("kept"));
        QCOMPARE(w.messages().last(), QStringLiteral("There are no results to copy."));
        QCOMPARE(w.messages().size(), 4);
        checkTitles(w);
        QCOMPARE(w.form->mousePointer(), 0);
    }

    void cancelledSaveDoesNothingAndClearEmptiesTheList() {
        Window w;
        w.add(QStringLiteral("/a.pdf"), QStringLiteral("hit"));
        w.dialogs.saveAnswers.push_back(QString());
        w.form->PushButton4_Click();
        QVERIFY(w.boxes.shown.empty());
        QVERIFY(w.form->pointers.empty());

        w.form->results.setChecked(0, true);
        w.form->PushButton2_Click();
        QCOMPARE(w.form->results.rowCount(), 0);
        w.form->PushButton2_Click();
        QVERIFY(w.boxes.shown.empty());
    }

    void saveWritesTheFileUnderTheBusyPointer() {
        Window w;
        QTemporaryDir dir;
        const QString target = dir.path() + QStringLiteral("/Liste ö");
        w.add(QStringLiteral("/ö.pdf"), QStringLiteral("a\r\nb"));
        int pointerWhilePumping = -1;
        w.pump.onPump = [&] { pointerWhilePumping = w.form->mousePointer(); };
        w.dialogs.saveAnswers.push_back(target);
        w.form->PushButton4_Click();
        QCOMPARE(readAll(target), QByteArray("Results (File)\t Where\t\r\n") +
                                      QStringLiteral("/ö.pdf").toUtf8() + "\ta  b\t\r\n");
        QCOMPARE(pointerWhilePumping, int(MousePointer::Busy));
        QCOMPARE(w.form->mousePointer(), 0);
        QVERIFY(w.boxes.shown.empty());
    }

    void failedSaveKeepsTheOldFileAndReports() {
        Window w;
        QTemporaryDir dir;
        const QString target = dir.path() + QStringLiteral("/old.txt");
        touch(target, "the old file");
        for (int i = 0; i < 50; ++i)
            w.add(QStringLiteral("/d/file%1.pdf").arg(i), QStringLiteral("snippet"));

        // Root writes anywhere, so the write is made to fail by a file-size limit.
        w.dialogs.saveAnswers.push_back(target);
        w.boxes.answerQuestion(true);  // replace the old file
        {
            const test::FileSizeLimit limit(64);
            w.form->PushButton4_Click();
        }

        QCOMPARE(readAll(target), QByteArray("the old file"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("old.txt")});
        QCOMPARE(w.boxes.shown.size(), size_t(2));  // the question, the report
        const auto& report = w.boxes.shown[1];
        QCOMPARE(report.title, QStringLiteral("Application Error"));
        QCOMPARE(report.icon, MessageBoxes::Icon::Warning);
        QVERIFY2(report.text.contains(QStringLiteral(
                     "\r\nin Kestrova2021/08/31.Form1.PushButton4_Click at line 104\r\r")),
                 qPrintable(report.text));
        QVERIFY(report.text.startsWith(QStringLiteral("Could not write the file \"") + target));
        QCOMPARE(w.form->mousePointer(), 0);

        // A target below a regular file is reported the same way.
        w.dialogs.saveAnswers.push_back(target + QStringLiteral("/inside.txt"));
        w.form->PushButton4_Click();
        QCOMPARE(w.boxes.shown.size(), size_t(3));
        QVERIFY(w.boxes.shown[2].text.contains(QStringLiteral("PushButton4_Click at line 104")));
        QCOMPARE(readAll(target), QByteArray("the old file"));
    }

    void clipboardCopiesTickedRowsAndConfirms() {
        Window w;
        w.add(QStringLiteral("/d/ten.pdf"), QStringLiteral("one  "));
        w.add(QStringLiteral("/d/fourteen.pdf"), QStringLiteral("two"));
        w.add(QStringLiteral("/d/longest-of-all.pdf"), QStringLiteral("three"));
        w.form->PushButton8_Click();
        // Nothing ticked: every row.
        QCOMPARE(w.clipboard.value, QStringLiteral("/d/ten.pdf") + QString(11, u' ') +
                                        QStringLiteral("\tone\r\n") +
                                        QStringLiteral("/d/fourteen.pdf") + QString(6, u' ') +
                                        QStringLiteral("\ttwo\r\n") +
                                        QStringLiteral("/d/longest-of-all.pdf\tthree\r\n"));
        QCOMPARE(w.clipboard.sets, 1);

        w.form->results.setChecked(0, true);
        w.form->results.setChecked(1, true);
        w.form->PushButton8_Click();
        QCOMPARE(w.clipboard.value, QStringLiteral("/d/ten.pdf") + QString(11, u' ') +
                                        QStringLiteral("\tone\r\n") +
                                        QStringLiteral("/d/fourteen.pdf") + QString(6, u' ') +
                                        QStringLiteral("\ttwo\r\n"));
        QCOMPARE(w.messages().size(), 2);
        QVERIFY(w.messages()[0] == w.messages()[1]);
        checkTitles(w);
    }

    void openSelectedOpensThePickedOrFirstRow() {
        Window w;
        QTemporaryDir dir;
        const QString a = dir.path() + QStringLiteral("/a b.pdf");
        const QString b = dir.path() + QStringLiteral("/\"quoted\" é.pdf");
        touch(a);
        touch(b);
        w.add(a, QStringLiteral("s"));
        w.add(b, QStringLiteral("s"));
        w.add(dir.path() + QStringLiteral("/gone.pdf"), QStringLiteral("s"));
        w.form->PushButton11_Click();
        w.form->results.setSelectedRow(1);
        w.form->PushButton11_Click();
        QCOMPARE(w.desktop.opened, (QStringList{a, b}));
        w.form->results.setSelectedRow(2);
        w.form->PushButton11_Click();
        QCOMPARE(w.desktop.opened.size(), 2);
        QCOMPARE(w.messages(),
                 QStringList{QStringLiteral("Can not open this file. It does not exist.")});
        QVERIFY(w.waits.empty());
        QVERIFY(w.form->pointers.empty());
    }

    void openAllOpensDistinctFilesWithAWaitAfterEach() {
        Window w;
        QTemporaryDir dir;
        const QString a = dir.path() + QStringLiteral("/doc.pdf");
        const QString upper = dir.path() + QStringLiteral("/DOC.pdf");
        const QString b = dir.path() + QStringLiteral("/b.pdf");
        const QString gone = dir.path() + QStringLiteral("/gone.pdf");
        touch(a);
        touch(upper);
        touch(b);
        for (const QString& p : {a, a, gone, b, a, upper, b, QString(), gone})
            w.add(p, QStringLiteral("s"));
        int pointerWhileWaiting = -1;
        w.form->waitSeconds_ = [&](int) {
            pointerWhileWaiting = w.form->mousePointer();
            w.waits.push_back(w.desktop.opened.size());
        };
        w.form->PushButton3_Click();
        QCOMPARE(w.desktop.opened, (QStringList{a, b, upper}));
        QCOMPARE(w.waits, (std::vector<qsizetype>{1, 2, 3}));
        QCOMPARE(w.messages(),
                 QStringList{QStringLiteral("Can not open this file. It does not exist.")});
        QCOMPARE(pointerWhileWaiting, int(MousePointer::Busy));
        QCOMPARE(w.form->mousePointer(), 0);
        QVERIFY(w.pump.count >= 9);  // once per row at least
        checkTitles(w);
    }

    // With a viewer that takes a page: each button, and a double click, open
    // at the row's page with its phrase; everything else stays as it was.
    void openAtThePageOfTheRow() {
        Window w;
        w.desktop.defaultApp = QStringLiteral("okularApplication_pdf.desktop");
        QTemporaryDir dir;
        const QString a = dir.path() + QStringLiteral("/a.pdf");
        const QString b = dir.path() + QStringLiteral("/b.pdf");
        touch(a);
        touch(b);
        const auto add = [&](const QString& path, int page, const QString& phrase) {
            w.form->results.addRow(path, QStringLiteral("s"), page, phrase);
            w.form->results.publish();
        };
        add(a, 4, QStringLiteral("kiwi"));
        add(b, 2, QStringLiteral("mango"));
        add(a, 9, QStringLiteral("lime"));
        add(dir.path() + QStringLiteral("/gone.pdf"), 1, QStringLiteral("kiwi"));
        const auto okular = [](const QString& path, int page, const QString& phrase) {
            return QStringList{QStringLiteral("okular"),
                               QStringLiteral("-p"),
                               QString::number(page),
                               QStringLiteral("--find"),
                               phrase,
                               path};
        };

        w.form->results.setSelectedRow(2);
        w.form->PushButton11_Click();
        QCOMPARE(w.desktop.started,
                 (std::vector<QStringList>{okular(a, 9, QStringLiteral("lime"))}));

        // "Open All Files": every distinct file at its first row, one wait after each.
        w.desktop.started.clear();
        w.form->PushButton3_Click();
        QCOMPARE(w.desktop.started,
                 (std::vector<QStringList>{okular(a, 4, QStringLiteral("kiwi")),
                                           okular(b, 2, QStringLiteral("mango"))}));
        QCOMPARE(w.waits, (std::vector<qsizetype>{0, 0}));
        QCOMPARE(w.messages(),
                 QStringList{QStringLiteral("Can not open this file. It does not exist.")});

        // A double click on the view opens that row.
        w.desktop.started.clear();
        Q_EMIT w.form->ListView2->doubleClicked(w.form->results.index(1, 1));
        QCOMPARE(w.desktop.started,
                 (std::vector<QStringList>{okular(b, 2, QStringLiteral("mango"))}));
        Q_EMIT w.form->ListView2->doubleClicked(w.form->results.index(3, 0));
        QCOMPARE(w.messages().size(), 2);
        QVERIFY(w.desktop.opened.isEmpty());

        // The page and phrase are hidden: the text export is the same without them.
        const QString with = dir.path() + QStringLiteral("/with.txt");
        const QString without = dir.path() + QStringLiteral("/without.txt");
        writeResultsText(w.form->results.rows(), with);
        ResultsList plain;
        for (int r = 0; r < w.form->results.rowCount(); ++r)
            plain.addRow(w.form->results.row(r).path, w.form->results.row(r).text(1));
        plain.publish();
        writeResultsText(plain.rows(), without);
        QFile fw(with), fo(without);
        QVERIFY(fw.open(QIODevice::ReadOnly) && fo.open(QIODevice::ReadOnly));
        QVERIFY(fw.size() > 0);
        QCOMPARE(fw.readAll(), fo.readAll());
        QCOMPARE(w.form->results.columnCount(), 2);
    }

    void spreadsheetMissingGivesTwoMessagesInOrder() {
        Window w;
        w.add(QStringLiteral("/a.pdf"), QStringLiteral("hit"));
        w.desktop.hasDefault = false;
        w.dialogs.saveAnswers.push_back(QString());  // the offer to save instead: Cancel
        w.form->PushButton13_Click();
        QCOMPARE(w.desktop.asked,
                 QStringList{QStringLiteral(
                     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
        QCOMPARE(w.messages(),
                 (QStringList{QStringLiteral("A spreadsheet program is not installed on this "
                                             "computer. You need to have it installed to use "
                                             "this software without error."),
                              QStringLiteral("A spreadsheet program is not installed on this "
                                             "computer. You need to have it installed to use "
                                             "this feature.")}));
        checkTitles(w);
        QVERIFY(w.form->pointers.empty());
        QVERIFY(w.desktop.opened.isEmpty());
    }

    void spreadsheetIsWrittenToTheWorkbookFolderAndOpened() {
        QTemporaryDir folder;
        Window w(folder.path());
        w.add(QStringLiteral("/a.pdf"), QStringLiteral("x=1"));
        w.add(QStringLiteral("/b.pdf"), QStringLiteral("y"));
        w.form->PushButton13_Click();
        QCOMPARE(w.desktop.opened.size(), 1);
        const QString book = w.desktop.opened[0];
        QCOMPARE(QFileInfo(book).absolutePath(), folder.path());
        QVERIFY(QFileInfo(book).fileName().startsWith(QStringLiteral("Quillmark results ")));
        QVERIFY(book.endsWith(QStringLiteral(".xlsx")));
        // An .xlsx file is a zip archive.
        QVERIFY(readAll(book).startsWith("PK\x03\x04"));
        QVERIFY(w.boxes.shown.empty());
        QCOMPARE(w.form->pointers, (std::vector<int>{11, 0}));
    }

    // Without a spreadsheet program the two messages are followed by an offer
    // to save the workbook; Cancel ends the click as before.
    void withoutASpreadsheetProgramTheWorkbookCanBeSaved() {
        QTemporaryDir folder;
        Window w(folder.path());
        w.add(QStringLiteral("/a.pdf"), QStringLiteral("hit"));
        w.desktop.hasDefault = false;
        const QString target = folder.path() + QStringLiteral("/kept results");
        w.dialogs.saveAnswers.push_back(target);
        w.form->PushButton13_Click();
        QCOMPARE(w.messages().size(), 2);
        QCOMPARE(w.dialogs.requests.size(), size_t(1));
        QCOMPARE(w.dialogs.requests[0].kind, QStringLiteral("save"));
        QCOMPARE(w.dialogs.requests[0].filter, QStringLiteral("Excel Workbook (*.xlsx)"));
        QVERIFY(readAll(target + QStringLiteral(".xlsx")).startsWith("PK\x03\x04"));
        QVERIFY(w.desktop.opened.isEmpty());
        QCOMPARE(w.form->pointers, (std::vector<int>{11, 0}));

        w.dialogs.saveAnswers.push_back(QString());  // Cancel
        w.form->PushButton13_Click();
        QCOMPARE(w.dialogs.requests.size(), size_t(2));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 1);
        QCOMPARE(w.form->pointers, (std::vector<int>{11, 0}));
    }

    void viewShowsCheckBoxesThatTickTheModel() {
        Window w;
        w.add(QStringLiteral("/a.pdf"), QStringLiteral("one\ntwo"));
        w.add(QStringLiteral("/b.pdf"), QStringLiteral("three"));
        QTreeView* view = w.form->ListView2;
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QCOMPARE(view->model()->rowCount(), 2);
        const QModelIndex second = view->model()->index(1, 0);
        QCOMPARE(second.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QCOMPARE(view->model()->index(0, 1).data().toString(), QStringLiteral("one two"));

        // Click the check indicator of the second row as a user would.
        QStyleOptionViewItem option;
        option.initFrom(view->viewport());
        option.rect = view->visualRect(second);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = second.data().toString();
        const QRect box =
            view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
        QVERIFY(box.isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
        QVERIFY(w.form->results.row(1).checked);
        QVERIFY(!w.form->results.row(0).checked);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
        QVERIFY(!w.form->results.row(1).checked);
        // Ticking is not picking; a click on the row's text picks it.
        QCOMPARE(w.form->results.selectedRow(), 0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(1, 1)).center());
        QCOMPARE(w.form->results.selectedRow(), 1);
        QVERIFY(!w.form->results.row(1).checked);
    }
};

}  // namespace qm

QTEST_MAIN(qm::ResultsButtonsTest)
#include "test_results_buttons.moc"
