// The window keeps one text cache for its life: the add-time check and the
// searches share it, so each file is extracted once until it changes. The
// extractor is a script that logs each call and then runs pdftotext.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/form1.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "platform/settings.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"

namespace qm {

class WindowCacheTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }

    int calls() const {
        QFile f(d(QStringLiteral("calls.log")));
        return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
    }

  private Q_SLOTS:
    void addsAndSearchesShareTheTexts() {
        const QString real = findExtractor();
        if (real.isEmpty()) QSKIP("pdftotext is not installed");
        allowExtractions();
        const QString extractor =
            test::writeScript(dir_.path(), QStringLiteral("logging.sh"),
                              QStringLiteral("echo x >> '%1'\nexec '%2' \"$@\"")
                                  .arg(d(QStringLiteral("calls.log")), real));
        QStringList files;
        for (int n = 1; n <= 4; ++n) {
            files << d(QStringLiteral("f%1.pdf").arg(n));
            test::makeTextPdf(files.last(),
                              {QStringLiteral("Document %1 about plums and pears").arg(n)});
        }
        test::makeImagePdf(d(QStringLiteral("scan.pdf")));

        test::TestWindow window(d(QStringLiteral("settings.ini")));
        ScriptedMessageBoxes& boxes = window.boxes;
        ScriptedFileDialogs& dialogs = window.dialogs;
        Form1& form = *window.form;
        form.ExtractorPath = extractor;

        // Adding four files checks four.
        dialogs.openAnswers.push_back(files);
        form.PushButton1->click();
        QVERIFY(test::checkToEnd(form));
        QCOMPARE(form.fileList.count(), 4);
        QCOMPARE(calls(), 4);

        // The searches find every text ready.
        form.Text1->setText(QStringLiteral("plums"));
        form.Option3->setChecked(true);
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(form.results.rowCount(), 4);
        QCOMPARE(boxes.messageTexts().value(0), QStringLiteral("Done."));
        form.Text1->setText(QStringLiteral("Document 3"));
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(form.results.rowCount(), 1);
        QCOMPARE(form.results.row(0).path, files[2]);
        QCOMPARE(calls(), 4);

        // Adding one more file extracts that one only; it is reported as before.
        dialogs.openAnswers.push_back({d(QStringLiteral("scan.pdf"))});
        form.PushButton1->click();
        QVERIFY(test::checkToEnd(form));
        QCOMPARE(calls(), 5);
        QVERIFY(boxes.messageTexts().last().startsWith(
            QStringLiteral("These files could not be read:")));
        QVERIFY(boxes.messageTexts().last().contains(d(QStringLiteral("scan.pdf"))));

        // A file changed on disk is extracted again by the next search.
        test::makeTextPdf(files[1], {QStringLiteral("Now about apples only")});
        form.Text1->setText(QStringLiteral("plums"));
        QVERIFY(test::searchToEnd(form));
        QCOMPARE(calls(), 6);
        QCOMPARE(form.results.rowCount(), 3);
        QVERIFY(boxes.messageTexts().last().contains(d(QStringLiteral("scan.pdf")) +
                                                     QString::fromLatin1("  - text unreadable.")));
    }

    // The texts outlive the window: a new window (a new session) finds them on
    // disk and extracts nothing; with "TextCache" set to "False" nothing is
    // kept or read there.
    void textsAreKeptOnDiskBetweenSessions() {
        const QString real = findExtractor();
        if (real.isEmpty()) QSKIP("pdftotext is not installed");
        allowExtractions();
        const QString log = d(QStringLiteral("disk.log"));
        const QString extractor =
            test::writeScript(dir_.path(), QStringLiteral("disk.sh"),
                              QStringLiteral("echo x >> '%1'\nexec '%2' \"$@\"").arg(log, real));
        const QStringList files{d(QStringLiteral("k1.pdf")), d(QStringLiteral("k2.pdf"))};
        for (const QString& f : files) test::makeTextPdf(f, {QStringLiteral("kept quinces")});
        const auto lines = [&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
        };
        const auto session = [&](const QString& ini, bool keep) {
            test::TestWindow window;
            window.useIni(ini);
            if (!keep)
                window.ini->saveSetting(QStringLiteral("TextCache"), QStringLiteral("False"));
            window.open();
            Form1& form = *window.form;
            form.ExtractorPath = extractor;
            form.fileList.add(files);
            form.Text1->setText(QStringLiteral("quinces"));
            form.Option3->setChecked(true);
            QVERIFY(test::searchToEnd(form));
            QCOMPARE(form.results.rowCount(), 2);
        };
        session(d(QStringLiteral("on.ini")), true);
        QCOMPARE(lines(), 2);
        session(d(QStringLiteral("on.ini")), true);
        QCOMPARE(lines(), 2);  // read from disk
        session(d(QStringLiteral("off.ini")), false);
        QCOMPARE(lines(), 4);  // not read from disk
    }

    // Catches texts written into a cache folder that is not the user's own
    // (here a link to elsewhere), and a window that stays silent about not
    // keeping them: one message however many searches, and the search goes on.
    void aCacheFolderNotTheUsersOwnIsNotUsedAndSaidOnce() {
        const QString real = findExtractor();
        if (real.isEmpty()) QSKIP("pdftotext is not installed");
        allowExtractions();
        QVERIFY(QDir().mkpath(d(QStringLiteral("shared/elsewhere"))));
        QVERIFY(QFile::link(d(QStringLiteral("shared/elsewhere")),
                            d(QStringLiteral("shared/quillmark"))));
        const QByteArray saved = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(d(QStringLiteral("shared"))));
        const QString file = d(QStringLiteral("linked.pdf"));
        test::makeTextPdf(file, {QStringLiteral("private medlars")});
        {
            IniSettingsStore settings(d(QStringLiteral("linked.ini")));
            ScriptedServices scripted(&settings);
            Form1::Config config;
            config.runFormLoad = false;
            Form1 form(scripted.services, config);
            form.ExtractorPath = real;
            form.fileList.add(file);
            form.Text1->setText(QStringLiteral("medlars"));
            form.Option3->setChecked(true);
            for (int k = 0; k < 2; ++k) {
                QVERIFY(test::searchToEnd(form));
                QCOMPARE(form.results.rowCount(), 1);
            }
            int said = 0;
            for (const QString& m : scripted.boxes.messageTexts())
                said += m.contains(QStringLiteral("is not used: it is a symbolic link")) ? 1 : 0;
            QCOMPARE(said, 1);
        }
        qputenv("XDG_CACHE_HOME", saved);
        QVERIFY(QDir(d(QStringLiteral("shared/elsewhere"))).isEmpty());
    }

    // A search started while the add-time check runs takes the check's work
    // over: every file is extracted once, the rows are all there, and the
    // check's report comes once, after "Done.". Faults: the check and the
    // search extracting the same files (two pipelines), a report shown twice.
    void aSearchDuringTheCheckExtractsEachFileOnce() {
        const QString real = findExtractor();
        if (real.isEmpty()) QSKIP("pdftotext is not installed");
        allowExtractions();
        const QString log = d(QStringLiteral("during.log"));
        const QString extractor = test::writeScript(
            dir_.path(), QStringLiteral("during.sh"),
            QStringLiteral("echo x >> '%1'\nsleep 0.2\nexec '%2' \"$@\"").arg(log, real));
        QStringList files;
        for (int n = 1; n <= 6; ++n) {
            files << d(QStringLiteral("during%1.pdf").arg(n));
            test::makeTextPdf(files.last(), {QStringLiteral("Note %1 on quinces").arg(n)});
        }
        test::makeImagePdf(d(QStringLiteral("during-scan.pdf")));
        files << d(QStringLiteral("during-scan.pdf"));
        test::TestWindow window(d(QStringLiteral("during.ini")));
        Form1& form = *window.form;
        form.ExtractorPath = extractor;
        window.dialogs.openAnswers.push_back(files);
        form.PushButton1->click();
        QVERIFY(form.checkRunning());
        form.Text1->setText(QStringLiteral("quinces"));
        QVERIFY(test::searchToEnd(form));
        QVERIFY(test::checkToEnd(form));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), files.size());
        QCOMPARE(form.results.rowCount(), 6);
        const QStringList said = window.boxes.messageTexts();
        QCOMPARE(said.size(), 2);
        QVERIFY(said[0].startsWith(QStringLiteral("Done.")));
        QCOMPARE(said[1],
                 checkReportText(d(QStringLiteral("during-scan.pdf")) + QStringLiteral("\r\n")));
    }

    // Escape ends the add-time check: its extraction ends at once and the
    // files checked so far are reported. Fault: a check that cannot be stopped.
    void escapeEndsTheCheck() {
        allowExtractions();
        const QString hang = test::writeScript(
            dir_.path(), QStringLiteral("hangcheck.sh"),
            QStringLiteral("case \"$(cat \"$1\")\" in *first*) exit 0;; esac\nexec sleep 60"));
        const QStringList files{d(QStringLiteral("first.pdf")), d(QStringLiteral("second.pdf"))};
        test::writeBytes(files[0], "first");
        test::writeBytes(files[1], "second");
        test::TestWindow window(d(QStringLiteral("escape.ini")));
        Form1& form = *window.form;
        form.ExtractorPath = hang;
        form.show();
        window.onTick([&] {
            if (window.form->texts.contains(QStringLiteral("Checking: second.pdf (2 of 2)")) &&
                runningChildren() == 1)
                QTest::keyClick(&form, Qt::Key_Escape);
        });
        form.fileList.add(files);
        form.runAddTimeCheck();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(test::checkToEnd(form, 30000));
        QVERIFY(clock.elapsed() < 20000);
        QTRY_COMPARE(runningChildren(), 0);
        QCOMPARE(window.boxes.messageTexts(),
                 QStringList{checkReportText(files[0] + QStringLiteral("  - password protected or "
                                                                       "text is protected.\r\n"))});
        QCOMPARE(form.mousePointer(), int(MousePointer::Default));
    }

    // The check works on every core, ahead of the file it is at, and shows
    // which file it is at.
    void theCheckWorksAheadAndShowsItsProgress() {
        if (TextPipeline::coreCount() < 2) QSKIP("one core: nothing to work ahead on");
        allowExtractions();
        const QString real = findExtractor();
        if (real.isEmpty()) QSKIP("pdftotext is not installed");
        const QString slow =
            test::writeScript(dir_.path(), QStringLiteral("slowcheck.sh"),
                              QStringLiteral("sleep 0.3\nexec '%1' \"$@\"").arg(real));
        QStringList files;
        for (int n = 1; n <= 4; ++n) {
            files << d(QStringLiteral("c%1.pdf").arg(n));
            test::makeTextPdf(files.last(), {QStringLiteral("check %1").arg(n)});
        }
        test::TestWindow window;
        window.useIni(d(QStringLiteral("check.ini")));
        window.ini->saveSetting(QStringLiteral("TextCache"), QStringLiteral("False"));
        window.open();
        ScriptedMessageBoxes& boxes = window.boxes;
        Form1& form = *window.form;
        form.ExtractorPath = slow;
        int most = 0;
        const QStringList& texts = window.form->texts;
        window.onTick([&] { most = std::max(most, runningChildren()); });
        form.fileList.add(files);
        form.runAddTimeCheck();
        QVERIFY(test::checkToEnd(form));
        QVERIFY2(most >= 2, "the check extracted one file at a time");
        QVERIFY(texts.contains(QStringLiteral("Checking: c1.pdf (1 of 4)")));
        QVERIFY(texts.contains(QStringLiteral("Checking: c4.pdf (4 of 4)")));
        QVERIFY(texts.indexOf(QStringLiteral("Checking: c1.pdf (1 of 4)")) <
                texts.indexOf(QStringLiteral("Checking: c4.pdf (4 of 4)")));
        QCOMPARE(form.text(), QStringLiteral("Progress Bar"));
        QCOMPARE(form.value(), 0);
        QVERIFY(boxes.shown.empty());
    }
};

}  // namespace qm

QTEST_MAIN(qm::WindowCacheTest)
#include "test_window_cache.moc"
