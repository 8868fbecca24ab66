// The search run end to end through the main window: made PDFs, the real
// extractor and stand-in ones, scripted message and input boxes. Checks the
// rows, the final report, the progress bar, stopping, passwords, and closing
// the window in the middle of an extraction.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "app/form1.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "results/exports.h"
#include "search/session.h"
#include "support/cliprocess.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"
#include "words/words.h"

namespace qm {

namespace {

// An extractor is running.
bool extracting() {
    return runningChildren() > 0;
}

// The work files left in the extraction workers' folders.
QStringList workFilesLeft() {
    QStringList left;
    for (const QString& sub : QDir(workFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& name : QDir(workFolder() + u'/' + sub).entryList(QDir::Files))
            left << sub + u'/' + name;
    return left;
}

const QString kUnreadable = QString::fromLatin1(kUnreadableSuffix);
const QString kProtected = QString::fromLatin1(kProtectedSuffix);
const QString kDamaged = QString::fromLatin1(kDamagedSuffix);
const QString kNotCopied = QString::fromLatin1(kNotCopiedSuffix);

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString alpha_, beta_, scan_, locked_, owner_, notPdf_, truncated_, missing_;

    // The window with a record of what the run did to the bar and the pointer.
    struct Window : test::TestWindow {
        explicit Window(const QString& ini) : TestWindow(ini) {
            form->ExtractorPath = findExtractor();
        }
        void phrase(const QString& p) {
            form->Text1->setText(p);
            form->Option3->setChecked(true);
        }
        void phrases(const QStringList& list) {
            form->Combo1->clear();
            form->Combo1->addItems(list);
            form->Option4->setChecked(true);
        }
        void search() { QVERIFY(test::searchToEnd(*form)); }
        QString caption() const { return form->PushButton7->text(); }
    };
    std::unique_ptr<Window> window() {
        return std::make_unique<Window>(dir_.path() + QStringLiteral("/settings.ini"));
    }
    static QString done(const QStringList& failed) {
        if (failed.isEmpty()) return QStringLiteral("Done.");
        return QStringLiteral("Done.\r\nThe following files could not be read:\r\n") +
               failed.join(QStringLiteral("\r\n"));
    }

    // Runs the search; once an extraction is under way, `act` runs once (a
    // click, a key) and the caption right after it is returned.
    template <class W, class F>
    static QString actingWhileExtracting(W& w, F act) {
        bool acted = false;
        QString caption;
        w->onTick([&] {
            if (acted || !extracting()) return;
            acted = true;
            act();
            caption = w->caption();
        });
        w->search();
        if (!acted) return QStringLiteral("<never acted>");
        return caption;
    }
    QString script(const QString& name, const QString& body) {
        return test::writeScript(dir_.path(), name, body);
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QString d = dir_.path();
        alpha_ = d + QStringLiteral("/alpha.pdf");
        test::makeTextPdf(alpha_, {QStringLiteral("The quick brown fox jumps over the lazy dog.\n"
                                                  "A second fox."),
                                   QStringLiteral("Page two: FOX in capitals.")});
        beta_ = d + QStringLiteral("/dir with spaces/Zürich 'single' \"double\" ß.pdf");
        test::makeTextPdf(beta_, {QStringLiteral("Ελληνικά: η αλεπού (fox) τρέχει.\n"
                                                 "Русский: лиса fox бежит.")});
        scan_ = d + QStringLiteral("/scanned.pdf");
        test::makeImagePdf(scan_);
        const QString plain = d + QStringLiteral("/plain.pdf");
        test::makeTextPdf(plain, {QStringLiteral("A locked fox.")});
        locked_ = d + QStringLiteral("/locked.pdf");
        QVERIFY(
            test::encryptPdf(plain, locked_, QStringLiteral("secret"), QStringLiteral("secret")));
        owner_ = d + QStringLiteral("/owner only.pdf");
        QVERIFY(test::encryptPdf(plain, owner_, QString(), QStringLiteral("boss")));
        notPdf_ = d + QStringLiteral("/not a pdf.pdf");
        test::writeBytes(notPdf_, "Only words about a fox, and no PDF at all.");
        truncated_ = d + QStringLiteral("/truncated.pdf");
        QFile whole(alpha_);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        test::writeBytes(truncated_, whole.read(whole.size() / 3));
        missing_ = d + QStringLiteral("/deleted since listed.pdf");
        QVERIFY(!findExtractor().isEmpty());
    }

    void cleanupTestCase() { removeWorkFolder(); }

    // Whole words, accents ignored and patterns give the window the rows the
    // command line gives: its text export equals --tsv. Fault: an option of
    // one face not reaching the search, or read otherwise by the other.
    void matchOptionsGiveTheRowsOfTheCommandLine() {
        const QString pdf = dir_.path() + QStringLiteral("/options.pdf");
        test::makeTextPdf(pdf, {QStringLiteral("The cat sat in a category of cats. Caf\u00e9 CAFE"),
                                QStringLiteral("cafe r\u00e9sum\u00e9 c4t cot cut cat_x, cat")});
        const struct {
            QCheckBox* Form1::*box;
            const char* flag;
            const char* phrase;
        } cases[] = {{&Form1::Check5, "-w", "cat"},
                     {&Form1::Check6, "--ignore-accents", "cafe"},
                     {&Form1::Check7, "-P", "c[aou4]t\\b|r.sum"}};
        for (const auto& c : cases) {
            auto w = window();
            ((*w->form).*c.box)->setChecked(true);
            w->phrase(QString::fromUtf8(c.phrase));
            w->form->fileList.add({pdf});
            w->search();
            QVERIFY2(w->form->results.rowCount() > 1, c.flag);
            const QString tsv = dir_.path() + QStringLiteral("/options.tsv");
            QProcess cli;
            cli.start(test::cliProgram(),
                      {QStringLiteral("-i"), QString::fromLatin1(c.flag), QStringLiteral("--tsv"),
                       tsv, QString::fromUtf8(c.phrase), pdf});
            QCOMPARE(test::finishCli(cli).status, 0);
            QFile written(tsv);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(written.readAll()), resultsText(w->form->results.rows()));
        }
    }

    void rowsAndReport() {
        auto w = window();
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, scan_, beta_, locked_, missing_, notPdf_, truncated_});
        w->search();
        QCOMPARE(w->rows(), (QStringList{
                                alpha_ + "|...he quick brown fox jumps over ...",
                                alpha_ + "|... dog.\nA second fox.\n\n\fPage two...",
                                alpha_ + "|...x.\n\n\fPage two: FOX in capitals...",
                                beta_ + "|...ικά: η αλεπού (fox) τρέχει.\nРу...",
                                beta_ + "|...\nРусский: лиса fox бежит.\n\n\f...",
                            }));
        QCOMPARE(w->boxes.messageTexts(),
                 QStringList{done({scan_ + kUnreadable, locked_ + kProtected, missing_ + kNotCopied,
                                   notPdf_ + kDamaged, truncated_ + kDamaged})});
        QCOMPARE(w->boxes.shown.back().title, applicationTitle());
        QCOMPARE(w->caption(), QStringLiteral("Start Searching"));
        QCOMPARE(w->form->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(w->form->value(), 0);
        QCOMPARE(w->form->mousePointer(), 0);
        // The work files of readable and unreadable files are gone; the copy
        // of a file that gave no text may stay until the next copy.
        for (const QString& f : workFilesLeft())
            QVERIFY2(f.endsWith(QStringLiteral("/tmp.pdf")), qPrintable(f));
        // All rows are in the view's model, not only in the list.
        QCOMPARE(w->form->results.rowCount(), 5);

        // Match case: the capitals are not found; a run needs no failures to end.
        w->form->Option1->setChecked(true);
        w->form->fileList.clear();
        w->form->fileList.add(alpha_);
        w->search();
        QCOMPARE(w->rows().size(), 2);
        QCOMPARE(w->boxes.messageTexts().last(), done({}));
    }

    void progressForThreeFiles() {
        auto w = window();
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_, alpha_});
        w->search();
        const QStringList& texts = w->form->texts;
        QCOMPARE(w->form->values, (std::vector<int>{33, 66, 100, 0}));
        QVERIFY(texts.contains(QStringLiteral("Processing: alpha.pdf")));
        QVERIFY(texts.contains(QStringLiteral("Processing: Zürich 'single' \"double\" ß.pdf")));
        QCOMPARE(w->form->pointers.front(), 11);
        QCOMPARE(w->form->pointers.back(), 0);
        QCOMPARE(w->rows().size(), 8);
    }

    // The phrase, the options, the find set and the list are those of the
    // run's start: edits made while it goes on change none of its rows.
    // Faults: options read again mid-run; list entries read by position while
    // entries are removed or moved, so another file is searched or none.
    void editsDuringARunWaitForTheNextRun() {
        auto w = window();
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_, alpha_});
        w->search();
        const QStringList unedited = w->rows();
        QCOMPARE(unedited.size(), 8);

        bool edited = false;
        w->form->onPointer = [&] {
            if (edited || !w->form->text().startsWith(QStringLiteral("Processing: Z"))) return;
            edited = true;
            w->form->Text1->setText(QStringLiteral("lazy"));
            w->form->Option1->setChecked(true);  // match case: "FOX" would be missed
            w->phrases({QStringLiteral("dog")});
            w->form->fileList.swapTexts(1, 2);
            w->form->fileList.remove(1);
        };
        w->search();
        QVERIFY(edited);
        QCOMPARE(w->rows(), unedited);
    }

    void inputMessages() {
        auto w = window();
        w->phrase(QStringLiteral("   "));
        w->search();
        QCOMPARE(w->boxes.messageTexts(),
                 QStringList{QStringLiteral("You forgot to input search text")});
        QCOMPARE(w->caption(), QStringLiteral("Start Searching"));
        w->phrase(QStringLiteral("fox"));
        w->search();
        QCOMPARE(w->boxes.messageTexts().last(), QStringLiteral("No files added."));
        QCOMPARE(w->caption(), QStringLiteral("Start Searching"));
        QVERIFY(w->form->values.empty());

        // A phrase list without entries says so and searches nothing: the old
        // rows stay, and no "Done." pretends a search was made.
        w->form->results.addRow(QStringLiteral("old row"), QString());
        w->form->results.publish();
        w->form->fileList.add({alpha_, scan_});
        for (const QStringList& empty : {QStringList{}, QStringList{QString()}}) {
            w->phrases(empty);
            w->search();
            QCOMPARE(w->rows(), QStringList{QStringLiteral("old row|")});
            QCOMPARE(w->boxes.messageTexts().last(), emptyFindSetMessage());
            QCOMPARE(w->caption(), QStringLiteral("Start Searching"));
        }
        QVERIFY(w->form->values.empty());

        // Several phrases: grouped by phrase in list order, blanks kept.
        w->phrases({QStringLiteral("FOX"), QStringLiteral(" dog")});
        w->form->fileList.clear();
        w->form->fileList.add(alpha_);
        w->search();
        QCOMPARE(w->rows().size(), 4);
        QCOMPARE(w->rows().last(), alpha_ + "|...s over the lazy dog.\nA second ...");
    }

    void stopDuringASlowExtraction() {
        auto w = window();
        w->form->ExtractorPath =
            script(QStringLiteral("slow"), QStringLiteral("sleep 0.4\nprintf 'the fox is here'"));
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_, alpha_});
        QCOMPARE(actingWhileExtracting(w, [&] { w->form->PushButton7->click(); }),
                 QStringLiteral("Start Searching"));
        // The click ended the file being extracted at once: it was neither
        // searched nor reported, and no later file was begun.
        QCOMPARE(w->rows(), QStringList());
        QVERIFY(w->boxes.shown.empty());
        QCOMPARE(w->caption(), QStringLiteral("Start Searching"));
        QCOMPARE(w->form->value(), 0);
        QCOMPARE(w->form->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(w->form->mousePointer(), 0);
        QVERIFY(w->form->StopRequested);
    }

    // Enter in the phrase field during a search leaves the run alone: only
    // "Stop Searching" stops it. Fault: Enter clicking the button whatever
    // its caption, so that it stops the search it started.
    void enterDuringASearchDoesNotStopIt() {
        auto w = window();
        w->form->ExtractorPath =
            script(QStringLiteral("slow3"), QStringLiteral("sleep 0.3\nprintf 'one fox'"));
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_});
        QCOMPARE(actingWhileExtracting(w, [&] { QTest::keyClick(w->form->Text1, Qt::Key_Return); }),
                 QStringLiteral("Stop Searching"));
        QCOMPARE(w->rows(), (QStringList{alpha_ + "|one fox...", beta_ + "|one fox..."}));
        QCOMPARE(w->boxes.messageTexts(), QStringList{done({})});
    }

    void startAgainWhileAStoppedRunFinishes() {
        auto w = window();
        w->form->ExtractorPath =
            script(QStringLiteral("slow2"), QStringLiteral("sleep 0.3\nprintf 'one fox'"));
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_});
        QCOMPARE(actingWhileExtracting(w,
                                       [&] {
                                           w->form->PushButton7->click();  // stop
                                           w->form->PushButton7->click();  // start again
                                       }),
                 QStringLiteral("Stop Searching"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->form->searchRunning(), 20000);
        // The first run ended quietly; the second searched both files.
        QCOMPARE(w->rows(), (QStringList{alpha_ + "|one fox...", beta_ + "|one fox..."}));
        QCOMPARE(w->boxes.messageTexts(), QStringList{done({})});
        QCOMPARE(w->caption(), QStringLiteral("Start Searching"));
    }

    void passwords() {
        auto w = window();
        w->phrase(QStringLiteral("locked fox"));
        w->form->Check1->setChecked(true);
        w->form->fileList.add({locked_, owner_, owner_, locked_, alpha_});
        // Only the files that need a password are asked for one.
        w->boxes.answerInput(QStringLiteral("secret"));  // the right one
        w->boxes.answerInput(QStringLiteral("wrong"));   // refused, then plain
        w->search();
        QCOMPARE(w->rows(), (QStringList{locked_ + "|A locked fox.\n\n\f...",
                                         owner_ + "|A locked fox.\n\n\f...",
                                         owner_ + "|A locked fox.\n\n\f..."}));
        QCOMPARE(w->boxes.messageTexts(), QStringList{done({locked_ + kProtected})});
        QCOMPARE(w->boxes.shown[0].kind, ScriptedMessageBoxes::Kind::Input);
        QCOMPARE(w->boxes.shown[0].text,
                 QStringLiteral("Enter password for file (") + locked_ +
                     QStringLiteral("): \r\nNote: Leave this box blank if file is not password "
                                    "protected"));
        QCOMPARE(w->boxes.shown[0].title, QStringLiteral("Input Password"));
        // What is typed is not shown.
        QVERIFY(w->boxes.shown[0].concealed);
        QCOMPARE(w->boxes.shown[0].defaultText, QString());
        QVERIFY(w->boxes.inputAnswers.empty());

        // A file that cannot be copied is reported as such, and is copied before
        // its prompt, so no password is asked for it.
        w->form->fileList.clear();
        w->form->fileList.add(missing_);
        const size_t shownBefore = w->boxes.shown.size();
        w->search();
        QCOMPARE(w->boxes.shown.size(), shownBefore + 1);
        QCOMPARE(w->boxes.messageTexts().last(), done({missing_ + kNotCopied}));
    }

    // A copy and a text left in every worker's folder (an earlier file that
    // gave no text, a crash) never stand in for a file that cannot be copied.
    void leftoverWorkFilesAreNeverSearched() {
        auto w = window();
        w->phrase(QStringLiteral("fox"));
        const int workers = std::max(2, QThread::idealThreadCount());
        for (int k = 1; k <= workers; ++k) {
            const QString folder = workFolder() + QStringLiteral("/ex") + QString::number(k);
            QDir().mkpath(folder);
            QFile::remove(folder + QStringLiteral("/tmp.pdf"));
            QVERIFY(QFile::copy(alpha_, folder + QStringLiteral("/tmp.pdf")));
            test::writeBytes(folder + QStringLiteral("/tmp.txt"), "the quick brown fox");
        }
        w->form->fileList.add(missing_);
        w->search();
        QVERIFY(w->rows().isEmpty());
        QCOMPARE(w->boxes.messageTexts(), QStringList{done({missing_ + kNotCopied})});
    }

    void withoutAnExtractor() {
        auto w = window();
        w->form->ExtractorPath.clear();
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_});
        w->search();
        // Catches every file called protected when the extractor is missing: said once instead.
        QCOMPARE(w->boxes.messageTexts(),
                 QStringList{QStringLiteral("Done.\r\n") +
                             QString::fromLatin1(kExtractorMissingReport)});
    }

    void formFeedsOnlyAndManyRows() {
        auto w = window();
        w->form->ExtractorPath =
            script(QStringLiteral("fake"),
                   QStringLiteral("case \"$(cat \"$1\")\" in\n"
                                  "*many*) awk 'BEGIN{for(i=0;i<50000;i++) printf \"fox \"}';;\n"
                                  "*feeds*) printf '\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f\\f';;\n"
                                  "esac"));
        const QString many = dir_.path() + QStringLiteral("/many.pdf");
        const QString feeds = dir_.path() + QStringLiteral("/feeds.pdf");
        test::writeBytes(many, "many");
        test::writeBytes(feeds, "feeds");
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({feeds, many});
        w->search();
        QCOMPARE(w->form->results.rowCount(), 50000);
        QCOMPARE(w->form->results.rowCount(), 50000);
        QCOMPARE(w->boxes.messageTexts(), QStringList{done({feeds + kUnreadable})});
        // The work files of both files are gone, wherever they were made.
        QDirIterator it(workFolder(), {QStringLiteral("tmp.pdf"), QStringLiteral("tmp.txt")},
                        QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
    }

    void closingTheWindowDuringAnExtraction() {
        auto w = window();
        w->form->ExtractorPath = script(QStringLiteral("hang"), QStringLiteral("sleep 300"));
        w->phrase(QStringLiteral("fox"));
        w->form->fileList.add({alpha_, beta_});
        w->onTick([&] {
            if (extracting()) endAllExtractions();
        });
        w->search();
        QTRY_VERIFY_WITH_TIMEOUT(!extracting(), 10000);  // worker threads end theirs
        QVERIFY(w->boxes.shown.empty());
        allowExtractions();
    }
};

}  // namespace qm

QTEST_MAIN(qm::SearchWindowTest)
#include "test_search_window.moc"
