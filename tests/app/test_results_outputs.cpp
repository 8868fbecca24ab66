// What the results buttons hand out is what they say. The saves replace
// nothing unasked and destroy nothing when they fail: the question before an
// existing file is replaced (the workbook's name completed first), a failed
// write that leaves the old file, a list too long for a worksheet refused
// before anything is asked or written. A file is never opened with this
// program itself.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/form1.h"
#include "results/spreadsheet.h"
#include "support/filesizelimit.h"
#include "support/window.h"

namespace qm {

class ResultsOutputsTest : public QObject {
    Q_OBJECT

    struct Window : test::TestWindow {
        explicit Window(const QString& workbookFolder) {
            Form1::Config config = test::windowConfig();
            config.workbookFolder = workbookFolder;
            open(config);
            form->results.addRow(QStringLiteral("/a.pdf"), QStringLiteral("hit"));
            form->results.publish();
        }
        QStringList questions() const {
            QStringList out;
            for (const auto& s : boxes.shown)
                if (s.kind == ScriptedMessageBoxes::Kind::Question) out << s.text;
            return out;
        }
    };

    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QStringList entries(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }
    static QString replaceQuestion(const QString& name) {
        return QStringLiteral("\"") + name +
               QStringLiteral("\" already exists.\r\rDo you want to replace it?");
    }

    // Runs `click` with writes limited to 64 bytes, so even root cannot write.
    template <class F>
    static void withTinyFileLimit(F click) {
        const test::FileSizeLimit limit(64);
        click();
    }

    // The text file ("Save Results As Text File") and the workbook saved for
    // later (no spreadsheet program): how each click is made, what the dialog
    // is answered, the file the question names.
    struct Save {
        const char* what;
        const char* typed;   // the dialog's answer, in the folder
        const char* target;  // the file written
        bool workbook;
    };
    static std::vector<Save> saves() {
        return {{"text file", "old.txt", "old.txt", false},
                {"workbook", "results", "results.xlsx", true}};
    }
    static void click(Window& w, const Save& s, const QString& folder) {
        w.dialogs.saveAnswers.push_back(folder + u'/' + QString::fromUtf8(s.typed));
        if (s.workbook) {
            w.desktop.hasDefault = false;
            w.form->PushButton13_Click();
        } else {
            w.form->PushButton4_Click();
        }
    }

  private Q_SLOTS:
    void anExistingFileIsReplacedOnlyWhenTheUserSaysSo() {
        for (const Save& s : saves()) {
            QTemporaryDir dir;
            Window w(dir.path());
            const QString target = dir.path() + u'/' + QString::fromUtf8(s.target);
            write(target, "the old file");

            w.boxes.answerQuestion(false);
            click(w, s, dir.path());
            QCOMPARE(w.questions(), QStringList{replaceQuestion(QString::fromUtf8(s.target))});
            QCOMPARE(readAll(target), QByteArray("the old file"));
            QCOMPARE(entries(dir.path()), QStringList{QString::fromUtf8(s.target)});

            w.boxes.answerQuestion(true);
            click(w, s, dir.path());
            QCOMPARE(w.questions().size(), 2);
            const QByteArray now = readAll(target);
            QVERIFY2(s.workbook ? now.startsWith("PK\x03\x04") : now.endsWith("/a.pdf\thit\t\r\n"),
                     s.what);
            QCOMPARE(entries(dir.path()), QStringList{QString::fromUtf8(s.target)});
        }
    }

    void aFailedWriteLeavesTheOldFileAndNoTemporaryFile() {
        for (const Save& s : saves()) {
            QTemporaryDir dir;
            Window w(dir.path());
            for (int i = 0; i < 50; ++i)
                w.form->results.addRow(QStringLiteral("/d/file%1.pdf").arg(i), QStringLiteral("s"));
            w.form->results.publish();
            const QString target = dir.path() + u'/' + QString::fromUtf8(s.target);
            write(target, "the old file");
            w.boxes.answerQuestion(true);
            withTinyFileLimit([&] { click(w, s, dir.path()); });
            QCOMPARE(readAll(target), QByteArray("the old file"));
            QCOMPARE(entries(dir.path()), QStringList{QString::fromUtf8(s.target)});
            QCOMPARE(w.boxes.shown.back().title, QStringLiteral("Application Error"));
            QVERIFY2(w.boxes.shown.back().text.contains(target), s.what);
        }
    }

    // The workbook the spreadsheet program opens: a failed write leaves no
    // empty workbook behind.
    void aFailedNewWorkbookLeavesNothing() {
        QTemporaryDir dir;
        Window w(dir.path());
        for (int i = 0; i < 50; ++i)
            w.form->results.addRow(QStringLiteral("/d/file%1.pdf").arg(i), QStringLiteral("s"));
        w.form->results.publish();
        withTinyFileLimit([&] { w.form->PushButton13_Click(); });
        QVERIFY(entries(dir.path()).isEmpty());
        QVERIFY(w.desktop.opened.isEmpty());
        QCOMPARE(w.boxes.shown.back().title, QStringLiteral("Application Error"));
    }

    void moreRowsThanAWorksheetHoldsAreRefusedFirst() {
        QTemporaryDir dir;
        Window w(dir.path());
        const QString path = QStringLiteral("/a.pdf");
        const QString snippet = QStringLiteral("hit");
        for (int i = 1; i < kMaxWorkbookRows + 1; ++i) w.form->results.addRow(path, snippet);
        w.form->results.publish();
        QCOMPARE(w.form->results.rowCount(), 1048576);
        for (bool spreadsheetProgram : {true, false}) {
            w.desktop.hasDefault = spreadsheetProgram;
            w.form->PushButton13_Click();
            QVERIFY(w.dialogs.requests.empty());
            QVERIFY(entries(dir.path()).isEmpty());
            QVERIFY(w.desktop.asked.isEmpty());
            QCOMPARE(w.boxes.messageTexts().last(),
                     QStringLiteral("The results list has 1048576 rows; a worksheet holds at "
                                    "most 1048575 results. Nothing was saved."));
        }
    }

    // This program is the desktop's PDF viewer: the next registered viewer
    // opens the file; with none, the window says so instead of opening a
    // second window of its own.
    void theProgramItselfIsNeverTheViewer() {
        QTemporaryDir dir;
        Window w(dir.path());
        const QString file = dir.path() + QStringLiteral("/a.pdf");
        write(file, "%PDF-1.4\n");
        w.form->results.clear();
        w.form->results.addRow(file, QStringLiteral("hit"), 2, QStringLiteral("hit"));
        w.form->results.publish();
        w.desktop.defaultApp = QStringLiteral("quillmark.desktop");
        w.desktop.registered = {QStringLiteral("quillmark.desktop")};
        w.form->PushButton11_Click();
        w.form->PushButton3_Click();
        QVERIFY(w.desktop.opened.isEmpty());
        QVERIFY(w.desktop.started.empty());
        const QString none = QStringLiteral(
            "A PDF viewer is not installed on this computer. You "
            "need to have one installed to open PDF files.");
        QCOMPARE(w.boxes.messageTexts(), (QStringList{none, none}));

        w.desktop.registered << QStringLiteral("viewer.desktop");
        w.form->PushButton11_Click();
        QCOMPARE(w.desktop.started,
                 (std::vector<QStringList>{{QStringLiteral("viewer.desktop"), file}}));
        QCOMPARE(w.boxes.messageTexts().size(), 2);
    }
};

}  // namespace qm

QTEST_MAIN(qm::ResultsOutputsTest)
#include "test_results_outputs.moc"
