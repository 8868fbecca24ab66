// quillmark-search driven as a user drives it: the built program run with
// QProcess over made PDFs, its standard output, standard error and exit
// status checked, and its rows and text file compared with what the window
// finds and saves for the same search.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "app/form1.h"
#include "extraction/extractor.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/session.h"
#include "support/cliprocess.h"
#include "support/pdfmaker.h"
#include "terms/findsets.h"
#include "text/display.h"
#include "words/words.h"

#include "support/scripted.h"
#include "support/window.h"
#include "text/display.h"

namespace qm {

namespace {

using Outcome = test::CliOutcome;
using test::cliProgram;

const QString kUnreadable = QString::fromLatin1(kUnreadableSuffix);
const QString kProtected = QString::fromLatin1(kProtectedSuffix);
const QString kNotCopied = QString::fromLatin1(kNotCopiedSuffix);

}  // namespace

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString work_;  // TEMP of the runs: their work folders must be gone afterwards
    QString alpha_, beta_, scan_, notPdf_, locked_, missing_, tree_, slow_, stuck_;

    QProcess* start(const QStringList& args, const QString& extractor = QString()) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), work_);
        if (!extractor.isEmpty()) env.insert(QStringLiteral("QM_EXTRACTOR"), extractor);
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(dir_.path());
        p->start(cliProgram(), args);
        return p;
    }
    Outcome finish(QProcess* p, const QByteArray& input = {}) {
        const Outcome o = test::finishCli(*p, input);
        delete p;
        return o;
    }
    Outcome run(const QStringList& args, const QByteArray& input = {},
                const QString& extractor = QString()) {
        return finish(start(args, extractor), input);
    }

    // The window over the same files: its rows as the program prints them.
    struct Window : test::TestWindow {
        explicit Window(const QString& ini) : TestWindow(ini) {
            form->ExtractorPath = findExtractor();
        }
        QStringList rows() const {
            QStringList out;
            for (int r = 0; r < form->results.rowCount(); ++r)
                out << text::blankControls(form->results.row(r).path) + u'\t' +
                           text::blankControls(form->results.row(r).text(1));
            return out;
        }
    };
    std::unique_ptr<Window> window() {
        return std::make_unique<Window>(dir_.path() + QStringLiteral("/settings.ini"));
    }

    void noWorkFolderLeft() {
        QCOMPARE(QDir(work_).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(!findExtractor().isEmpty());
        const QString d = dir_.path();
        work_ = d + QStringLiteral("/work");
        QVERIFY(QDir().mkpath(work_));
        alpha_ = d + QStringLiteral("/alpha.pdf");
        test::makeTextPdf(alpha_, {QStringLiteral("The quick brown fox jumps over the lazy dog.\n"
                                                  "A second fox."),
                                   QStringLiteral("Page two: FOX in capitals. Straße.")});
        beta_ = d + QStringLiteral("/dir with spaces/Zürich 'quoted' ß.pdf");
        test::makeTextPdf(beta_, {QStringLiteral("Ελληνικά: η αλεπού (fox) τρέχει, dog.")});
        scan_ = d + QStringLiteral("/scanned.pdf");
        test::makeImagePdf(scan_);
        notPdf_ = d + QStringLiteral("/not a pdf.pdf");
        test::writeBytes(notPdf_, "Words about a fox, and no PDF at all.");
        const QString plain = d + QStringLiteral("/plain.pdf");
        test::makeTextPdf(plain, {QStringLiteral("A locked fox.")});
        locked_ = d + QStringLiteral("/locked.pdf");
        QVERIFY(
            test::encryptPdf(plain, locked_, QStringLiteral("secret"), QStringLiteral("secret")));
        missing_ = d + QStringLiteral("/gone.pdf");

        tree_ = d + QStringLiteral("/tree");
        test::makeTextPdf(tree_ + QStringLiteral("/top.PDF"), {QStringLiteral("fox at the top")});
        test::makeTextPdf(tree_ + QStringLiteral("/a/b/deep.pdf"), {QStringLiteral("deep fox")});
        test::makeTextPdf(tree_ + QStringLiteral("/a/~lock.pdf"),
                          {QStringLiteral("a fox in a lock file")});
        test::makeTextPdf(tree_ + QStringLiteral("/a/.hidden.pdf"), {QStringLiteral("fox")});
        test::makeTextPdf(tree_ + QStringLiteral("/.cache/inside.pdf"), {QStringLiteral("fox")});
        // A PDF under another extension.
        test::makeTextPdf(tree_ + QStringLiteral("/a/notes.txt"), {QStringLiteral("fox notes")});

        // Stand-in extractors: one that takes a second per file, one that never ends.
        test::writeBytes(d + QStringLiteral("/fake.txt"), "the fox and the fox\n");
        const QString write = QStringLiteral("cat '") + d + QStringLiteral("/fake.txt'\n");
        slow_ =
            test::writeScript(d, QStringLiteral("slow.sh"), QStringLiteral("sleep 1\n") + write);
        stuck_ =
            test::writeScript(d, QStringLiteral("stuck.sh"), QStringLiteral("exec sleep 60\n"));
        for (int i = 1; i <= 6; ++i)
            test::writeBytes(
                d + QStringLiteral("/many/f") + QString::number(i) + QStringLiteral(".pdf"), "x");
    }

    void cleanupTestCase() { removeWorkFolder(); }

    // Faults: -o printing the snippet, --json without the occurrence, an
    // invalid pattern let through to the files or said without PCRE2's place, a
    // pattern that backtracks without end hanging the run or ending it instead
    // of being reported for its file.
    void patterns() {
        const Outcome only = run({QStringLiteral("-P"), QStringLiteral("-o"), QStringLiteral("-h"),
                                  QStringLiteral("f.x|d.g"), alpha_});
        QCOMPARE(only.lines(), (QStringList{QStringLiteral("fox"), QStringLiteral("dog"),
                                            QStringLiteral("fox")}));
        const Outcome json =
            run({QStringLiteral("-P"), QStringLiteral("--json"), QStringLiteral("-m"),
                 QStringLiteral("1"), QStringLiteral("d.g"), alpha_});
        QVERIFY2(json.out.contains("\"match\":\"dog\""), json.out.constData());

        const Outcome invalid = run({QStringLiteral("-P"), QStringLiteral("a(b"), missing_});
        QCOMPARE(invalid.status, 2);
        QVERIFY(invalid.out.isEmpty());
        QCOMPARE(invalid.errLines(),
                 QStringList{QStringLiteral("quillmark-search: Invalid pattern \"a(b\": Missing "
                                            "closing parenthesis at character 4")});

        const QString runaway = dir_.path() + QStringLiteral("/runaway.pdf");
        test::makeTextPdf(runaway, {QString(60, u'a') + u'!'});
        const Outcome limited = run({QStringLiteral("-P"), QStringLiteral("-c"),
                                     QStringLiteral("(a|aa)+$|fox"), runaway, alpha_});
        QCOMPARE(limited.status, 2);
        QVERIFY(limited.lines().contains(alpha_ + QStringLiteral("\t2")));
        QVERIFY2(
            limited.err.contains(
                (runaway + QStringLiteral(": the pattern is too complex for this file")).toUtf8()),
            limited.err.constData());
    }

    // The rows the program prints are the rows the window finds, line by line,
    // with the snippets' line ends and page breaks shown as spaces.
    void rowsAsTheWindowFindsThem() {
        const Outcome o = run({QStringLiteral("-i"), QStringLiteral("fox"), alpha_, beta_});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.err, QByteArray());  // no progress display without a terminal
        auto w = window();
        w->form->Text1->setText(QStringLiteral("fox"));
        w->form->Option3->setChecked(true);
        w->form->Option2->setChecked(true);
        w->form->fileList.add({alpha_, beta_});
        QVERIFY(test::searchToEnd(*w->form));
        QCOMPARE(o.lines(), w->rows());
        QCOMPARE(o.lines().size(), 4);
        for (const QString& line : o.lines()) {
            QCOMPARE(line.count(u'\t'), 1);
            QVERIFY(line.startsWith(alpha_ + u'\t') || line.startsWith(beta_ + u'\t'));
        }
        QVERIFY(o.lines().at(1).contains(QStringLiteral("dog. A second fox.")));
        noWorkFolderLeft();

        // Case matters without -i: the capitals are not found.
        const Outcome exact = run({QStringLiteral("FOX"), alpha_});
        QCOMPARE(exact.lines().size(), 1);
        QVERIFY(exact.lines().at(0).contains(QStringLiteral("Page two: FOX")));
    }

    void exitStatuses() {
        QCOMPARE(run({QStringLiteral("fox"), alpha_}).status, 0);
        QCOMPARE(run({QStringLiteral("no such words"), alpha_}).status, 1);
        for (const QStringList& bad :
             {QStringList{}, QStringList{QStringLiteral("fox")},
              QStringList{QStringLiteral("--nope"), QStringLiteral("fox"), alpha_},
              QStringList{QStringLiteral("-c"), QStringLiteral("-l"), QStringLiteral("x"), alpha_},
              QStringList{QStringLiteral("   "), alpha_}, QStringList{QString(), alpha_},
              QStringList{QStringLiteral("-e"), QString(), alpha_},
              QStringList{QStringLiteral("-e"), QStringLiteral("fox"), QStringLiteral("--phrase="),
                          alpha_},
              QStringList{QStringLiteral("-f"), QStringLiteral("-"),
                          QStringLiteral("--ask-password"), alpha_},
              QStringList{QStringLiteral("x"), alpha_, QStringLiteral("--tsv")},
              QStringList{QStringLiteral("--password=a"), QStringLiteral("--ask-password"),
                          QStringLiteral("x"), alpha_}}) {
            const Outcome o = run(bad);
            QCOMPARE(o.status, 2);
            QVERIFY2(o.err.startsWith("quillmark-search: "), o.err.constData());
            QCOMPARE(o.errLines().size(), 2);  // the problem and the hint at --help
            QCOMPARE(o.out, QByteArray());
        }
        const Outcome help = run({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith("Usage: quillmark-search"));
        const Outcome version = run({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith("quillmark-search (Quillmark) "));

        // No extractor: one line saying what to install, and no search.
        const Outcome missing =
            run({QStringLiteral("fox"), alpha_}, {}, dir_.path() + QStringLiteral("/none"));
        QCOMPARE(missing.status, 2);
        QCOMPARE(missing.errLines().size(), 1);
        QVERIFY(missing.err.contains("poppler-utils"));
        QCOMPARE(missing.out, QByteArray());
    }

    // Phrases of -e and -f in the order given, list files read as "Load" reads them.
    void findSetsInOrder() {
        test::writeBytes(dir_.path() + QStringLiteral("/list.txt"),
                         "   \r\nquick\r\n\r\n lazy\r\n");
        const Outcome o = run({QStringLiteral("-e"), QStringLiteral("dog"), QStringLiteral("-f"),
                               dir_.path() + QStringLiteral("/list.txt"),
                               QStringLiteral("--phrase=fox"), alpha_});
        QCOMPARE(o.status, 0);
        auto w = window();
        w->form->Combo1->addItems({QStringLiteral("dog"), QStringLiteral("quick"),
                                   QStringLiteral(" lazy"), QStringLiteral("fox")});
        w->form->Option4->setChecked(true);
        w->form->Option1->setChecked(true);
        w->form->fileList.add(alpha_);
        QVERIFY(test::searchToEnd(*w->form));
        QCOMPARE(o.lines(), w->rows());
        QCOMPARE(o.lines().size(), 5);
        QVERIFY(o.lines().at(0).contains(QStringLiteral("lazy dog")));

        const Outcome missingList =
            run({QStringLiteral("-f"), QStringLiteral("nolist.txt"), alpha_});
        QCOMPARE(missingList.status, 2);
        QVERIFY(missingList.err.contains("File not found"));
    }

    // Folders are walked as the folder scan walks them; files are taken as given.
    void foldersAndExtensions() {
        auto names = [](const Outcome& o) {
            QStringList n;
            for (const QString& l : o.lines()) n << l.section(u'\t', 0, 0);
            n.sort();
            return n;
        };
        const Outcome pdf =
            run({QStringLiteral("-l"), QStringLiteral("fox"), QStringLiteral("tree/")});
        QCOMPARE(pdf.status, 0);
        QCOMPARE(names(pdf), (QStringList{QStringLiteral("tree/a/b/deep.pdf"),
                                          QStringLiteral("tree/top.PDF")}));
        const Outcome txt = run({QStringLiteral("-l"), QStringLiteral("--ext"),
                                 QStringLiteral("txt"), QStringLiteral("fox"), tree_});
        QCOMPARE(names(txt), QStringList{tree_ + QStringLiteral("/a/notes.txt")});
        const Outcome all =
            run({QStringLiteral("-l"), QStringLiteral("--no-progress"), QStringLiteral("--ext=*"),
                 QStringLiteral("fox"), QStringLiteral("tree")});
        QCOMPARE(names(all).size(), 3);
        // A file that is no PDF at all, listed by "*", is reported as such, not
        // as protected.
        const QString mixed = dir_.path() + QStringLiteral("/mixed");
        test::writeBytes(mixed + QStringLiteral("/plain.txt"), "the quick brown fox, as text");
        test::makeTextPdf(mixed + QStringLiteral("/real.pdf"),
                          {QStringLiteral("a quick brown fox jumps")});
        const Outcome mix = run({QStringLiteral("--no-progress"), QStringLiteral("--ext=*"),
                                 QStringLiteral("fox"), mixed});
        QVERIFY2(mix.lines().size() == 1, (mix.out + mix.err).constData());
        QVERIFY2(mix.err.contains(QFile::encodeName(mixed) +
                                  "/plain.txt  - not a PDF file, or the file is damaged."),
                 (mix.out + mix.err).constData());
        // A file named directly is searched whatever its name.
        const Outcome direct = run({QStringLiteral("fox"), tree_ + QStringLiteral("/a/~lock.pdf")});
        QCOMPARE(direct.lines().size(), 1);
    }

    void countsAndFilesWithMatches() {
        const Outcome c =
            run({QStringLiteral("--count"), QStringLiteral("-i"), QStringLiteral("fox"), alpha_,
                 scan_, beta_, QStringLiteral("tree/a/b/deep.pdf")});
        QCOMPARE(c.lines(),
                 (QStringList{alpha_ + QStringLiteral("\t3"), beta_ + QStringLiteral("\t1"),
                              QStringLiteral("tree/a/b/deep.pdf\t1")}));
        const Outcome none = run({QStringLiteral("-c"), QStringLiteral("zebra"), alpha_});
        QCOMPARE(none.status, 1);
        QCOMPARE(none.lines(), QStringList{alpha_ + QStringLiteral("\t0")});
        const Outcome l = run({QStringLiteral("--files-with-matches"), QStringLiteral("dog"),
                               alpha_, scan_, alpha_, beta_});
        QCOMPARE(l.lines(), (QStringList{alpha_, alpha_, beta_}));
    }

    // Files whose text cannot be had or read are listed at the end, in list
    // order, with the window's reasons; the others are still searched.
    void unreadableFilesOnStandardError() {
        const Outcome o = run({QStringLiteral("fox"), scan_, alpha_, notPdf_, missing_, locked_});
        QCOMPARE(o.status, 2);  // a missing file and one that is no PDF are errors
        QCOMPARE(o.lines().size(), 2);
        QCOMPARE(o.errLines(),
                 (QStringList{QStringLiteral("The following files could not be read:"),
                              scan_ + kUnreadable, notPdf_ + QString::fromLatin1(kDamagedSuffix),
                              missing_ + kNotCopied, locked_ + kProtected}));
        const Outcome allFailed = run({QStringLiteral("fox"), scan_});
        QCOMPARE(allFailed.status, 1);
        QCOMPARE(allFailed.out, QByteArray());
    }

    void passwords() {
        const Outcome given = run({QStringLiteral("--password"), QStringLiteral("secret"),
                                   QStringLiteral("fox"), locked_, alpha_});
        QCOMPARE(given.status, 0);
        QCOMPARE(given.lines().size(), 3);
        QCOMPARE(given.err, QByteArray());
        QVERIFY(given.lines().at(0).startsWith(locked_ + u'\t'));

        // Asked for each file that needs one: a wrong answer for the first.
        const Outcome asked =
            run({QStringLiteral("--ask-password"), QStringLiteral("fox"), locked_, locked_, alpha_},
                "wrong\nsecret\n\n");
        QCOMPARE(asked.lines().size(), 3);
        QVERIFY(asked.lines().at(0).startsWith(locked_ + u'\t'));
        QCOMPARE(asked.err.count("Enter password for file (" + locked_.toUtf8() + "): "), 2);
        // The file without a password is not asked for one.
        QCOMPARE(asked.err.count("Enter password for file ("), 2);
        QVERIFY(asked.err.contains(locked_.toUtf8() + kProtected.toUtf8()));
    }

    // A password file may be a pipe or a descriptor, within the size limit; a
    // password holding a line break is refused, never cut at the break.
    void passwordFromAPipeAndOnlyOneLine() {
        const QString twoLines = dir_.path() + QStringLiteral("/two lines.txt");
        test::writeBytes(twoLines, "secret\nnot this line\n");
        const QString fd0 = QStringLiteral("/dev/fd/0");
        const struct {
            QString file;
            QByteArray input;
            int status;
            QByteArray error;
        } cases[] = {
            {fd0, "secret\n", 0, {}},
            {fd0, "secret", 0, {}},
            {fd0, QByteArray(70 * 1024, 'x'), 2, "The password file is too large: /dev/fd/0"},
            {fd0, "sec\nret\n", 2, "holds more than one line"},
            {fd0, "sec\rret", 2, "holds more than one line"},
            {twoLines, {}, 2, "holds more than one line"},
        };
        for (const auto& c : cases) {
            const Outcome o =
                run({QStringLiteral("--password-file"), c.file, QStringLiteral("fox"), locked_},
                    c.input);
            QCOMPARE(o.status, c.status);
            if (c.status == 0) QCOMPARE(o.lines().size(), 1);
            if (!c.error.isEmpty()) QVERIFY2(o.err.contains(c.error), o.err.constData());
        }
    }

    // A password from a file (its first line); a stuck extractor ended at its time limit.
    void passwordFileAndTimeout() {
        const QString pwFile = dir_.path() + QStringLiteral("/pw.txt");
        test::writeBytes(pwFile, "secret\n");
        const Outcome given =
            run({QStringLiteral("--password-file"), pwFile, QStringLiteral("fox"), locked_});
        QCOMPARE(given.status, 0);
        QCOMPARE(given.lines().size(), 1);
        QCOMPARE(run({QStringLiteral("--password-file"), pwFile, QStringLiteral("--password"),
                      QStringLiteral("x"), QStringLiteral("fox"), locked_})
                     .status,
                 2);

        const Outcome stuck =
            run({QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("fox"), alpha_},
                {}, stuck_);
        QCOMPARE(stuck.status, 2);  // an extraction that was ended is an error
        QVERIFY2(stuck.err.contains(alpha_.toUtf8() + "  - text extraction took too long."),
                 stuck.err.constData());
        noWorkFolderLeft();
    }

    // A text of 200 MB, searched under an address-space limit of 160 MiB for
    // the whole program: it can only pass with the text never held whole
    // (nor its 2 GiB cousin, see the benchmarks). Rows and counts are those
    // of a run without the limit.
    void aLargeTextUnderAMemoryLimit() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("an address-space limit leaves no room for the sanitizer's shadow memory");
#endif
        const QString d = dir_.path();
        const QString big = test::writeScript(
            d, QStringLiteral("big.sh"),
            QString::fromUtf8("last=$1\n"
                              "{ echo 'a needle first'; yes 'lorem ipsum dolor sit amet,' | head "
                              "-c 100000000; echo ' a needle ' \"$(cat \"$last\")\"; yes 'Ipsum "
                              "\xc3\xa9t\xc3\xa9' | head -c 100000000; echo 'the last needle'; }"));
        const QString one = d + QStringLiteral("/big/one.pdf");
        const QString two = d + QStringLiteral("/big/two.pdf");
        test::writeBytes(one, "in one");
        test::writeBytes(two, "in two");
        const auto runLimited = [&](const QStringList& args, bool limited) {
            auto* p = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TEMP"), work_);
            env.insert(QStringLiteral("QM_EXTRACTOR"), big);
            p->setProcessEnvironment(env);
            if (limited)
                p->setChildProcessModifier([] {
                    const rlimit limit{160ul << 20, 160ul << 20};
                    ::setrlimit(RLIMIT_AS, &limit);
                });
            p->start(cliProgram(), args);
            return finish(p);
        };
        const QStringList rows{QStringLiteral("--no-progress"),
                               QStringLiteral("-j"),
                               QStringLiteral("2"),
                               QStringLiteral("needle"),
                               one,
                               two};
        const Outcome free = runLimited(rows, false);
        const Outcome limited = runLimited(rows, true);
        QCOMPARE(free.status, 0);
        QCOMPARE(free.lines().size(), 6);
        QVERIFY(free.out.contains("a needle  in two"));
        QCOMPARE(limited.status, 0);
        QCOMPARE(limited.out, free.out);
        QCOMPARE(limited.err, free.err);

        const QStringList counts{QStringLiteral("--no-progress"),
                                 QStringLiteral("-c"),
                                 QStringLiteral("-i"),
                                 QStringLiteral("-e"),
                                 QStringLiteral("ipsum"),
                                 QStringLiteral("-e"),
                                 QStringLiteral("\u00c9T\u00c9"),
                                 one};
        const Outcome freeCounts = runLimited(counts, false);
        const Outcome limitedCounts = runLimited(counts, true);
        QCOMPARE(freeCounts.status, 0);
        QCOMPARE(limitedCounts.status, 0);
        QCOMPARE(limitedCounts.out, freeCounts.out);
        noWorkFolderLeft();
    }

    // --tsv writes byte for byte what "Save Results As Text File" writes after
    // the same search in the window.
    void textFileAsTheWindowSavesIt() {
        const QString cliFile = dir_.path() + QStringLiteral("/cli results.txt");
        const QString windowFile = dir_.path() + QStringLiteral("/window results.txt");
        const Outcome o =
            run({QStringLiteral("-i"), QStringLiteral("-e"), QStringLiteral("fox"),
                 QStringLiteral("-e"), QStringLiteral("ß"), QStringLiteral("-e"),
                 QStringLiteral("ΑΛΕΠΟΎ"), QStringLiteral("--tsv"), cliFile, alpha_, scan_, beta_});
        QCOMPARE(o.status, 0);

        auto w = window();
        w->form->Combo1->addItems(
            {QStringLiteral("fox"), QStringLiteral("ß"), QStringLiteral("ΑΛΕΠΟΎ")});
        w->form->Option4->setChecked(true);
        w->form->Option2->setChecked(true);
        w->form->fileList.add({alpha_, scan_, beta_});
        QVERIFY(test::searchToEnd(*w->form));
        w->dialogs.saveAnswers.push_back(windowFile);
        w->form->PushButton4->click();

        QFile a(cliFile), b(windowFile);
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(b.open(QIODevice::ReadOnly));
        const QByteArray bytes = a.readAll();
        QCOMPARE(bytes, b.readAll());
        QVERIFY(bytes.startsWith("Results (File)\t Where\t\r\n"));
        QCOMPARE(bytes.count("\r\n"), 7);  // the header and six rows

        // Nothing found: nothing written, as the window writes nothing.
        const QString empty = dir_.path() + QStringLiteral("/empty.txt");
        const Outcome none = run({QStringLiteral("zebra"), QStringLiteral("--tsv"), empty, alpha_});
        QCOMPARE(none.status, 1);
        QVERIFY(!QFile::exists(empty));
        QVERIFY(none.err.contains("There are no results to save."));
    }

    // Ctrl+C lets the file being read finish, prints what was found and stops;
    // a second one stops at once.
    void interrupt() {
        QProcess* p = start({QStringLiteral("fox"), QStringLiteral("many")}, slow_);
        // The first file's rows appear once the second file is under way.
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (!out.contains('\n') && t.elapsed() < 20000) {
            p->waitForReadyRead(200);
            out += p->readAllStandardOutput();
        }
        QVERIFY(out.contains('\n'));
        QCOMPARE(::kill(static_cast<pid_t>(p->processId()), SIGINT), 0);
        QVERIFY(p->waitForFinished(10000));
        const int status = p->exitCode();
        out += p->readAllStandardOutput();
        const QByteArray err = p->readAllStandardError();
        delete p;
        QCOMPARE(status, 130);  // cut short, after printing what was found
        QVERIFY(err.contains("stopping after the current file"));
        // The file under way when Ctrl+C came was searched to the end: two
        // rows per file, for at least two files and not for all six.
        const int rows = static_cast<int>(out.count('\n'));
        QVERIFY2(rows >= 4 && rows < 12 && rows % 2 == 0, out.constData());
        noWorkFolderLeft();

        QProcess* q = start({QStringLiteral("fox"), QStringLiteral("many")}, stuck_);
        QTest::qWait(500);
        ::kill(static_cast<pid_t>(q->processId()), SIGINT);
        QTest::qWait(200);
        ::kill(static_cast<pid_t>(q->processId()), SIGINT);
        QElapsedTimer stopped;
        stopped.start();
        QVERIFY(q->waitForFinished(10000));
        QVERIFY(stopped.elapsed() < 5000);
        QCOMPARE(q->exitCode(), 130);
        delete q;
        noWorkFolderLeft();
    }

    // Ctrl+C at a terminal goes to the whole foreground process group. A fault
    // caught: the extractor in that group too, cut in the middle of its text
    // (the file then searched short, or reported as failed).
    void interruptOfTheWholeProcessGroup() {
        const QString d = dir_.path();
        const QString started = d + QStringLiteral("/group-started");
        const QString go = d + QStringLiteral("/group-go");
        const QString extractor = test::writeScript(
            d, QStringLiteral("waiting.sh"),
            QStringLiteral("echo $$ > '") + started + QStringLiteral("'\nwhile [ ! -e '") + go +
                QStringLiteral("' ]; do sleep 0.05; done\ncat '") + d +
                QStringLiteral("/fake.txt'\n"));
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), work_);
        env.insert(QStringLiteral("QM_EXTRACTOR"), extractor);
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(d);
        // A session of its own: the program leads its process group, as a
        // shell's foreground job does.
        p->setChildProcessModifier([] { ::setsid(); });
        p->start(cliProgram(), {QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("fox"),
                                QStringLiteral("many")});
        QVERIFY(p->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile(started).size() > 0, 30000);

        const pid_t group = static_cast<pid_t>(p->processId());
        QCOMPARE(::getpgid(group), group);
        QCOMPARE(::kill(-group, SIGINT), 0);
        QByteArray err;
        for (int i = 0; i < 600 && !err.contains("stopping after the current file"); ++i) {
            p->waitForReadyRead(100);
            err += p->readAllStandardError();
        }
        QVERIFY2(err.contains("stopping after the current file"), err.constData());
        test::writeBytes(go, "");
        QVERIFY(p->waitForFinished(60000));
        const int status = p->exitCode();
        const QByteArray out = p->readAllStandardOutput();
        err += p->readAllStandardError();
        delete p;
        QFile::remove(started);
        QFile::remove(go);
        // The file under way was extracted whole and searched (two rows);
        // nothing after it; no file reported as failed.
        QCOMPARE(status, 130);
        QCOMPARE(out.count('\n'), 2);
        QVERIFY2(!err.contains("could not be read"), err.constData());
        noWorkFolderLeft();
    }

    // Without a safe temporary folder nothing is searched: each folder tried is
    // named with its reason and the status is 2. /tmp is made unsafe in a mount
    // namespace of its own (root only; skipped elsewhere).
    void withoutASafeTemporaryFolderNothingIsSearched() {
        // The program must stay reachable once /tmp is covered.
        if (QFileInfo(cliProgram()).canonicalFilePath().startsWith(QStringLiteral("/tmp/")))
            QSKIP("the program lies under /tmp, which the test covers");
        const QString open = dir_.path() + QStringLiteral("/open-tmp");
        QVERIFY(QDir().mkpath(open));
        QCOMPARE(::chmod(QFile::encodeName(open).constData(), 0777), 0);
        QProcess shell;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), open);
        env.remove(QStringLiteral("TMPDIR"));
        shell.setProcessEnvironment(env);
        shell.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("mount --make-rprivate / 2>/dev/null; mount --bind \"$0\" "
                                    "/tmp || exit 99; exec \"$1\" fox \"$2\""),
                     open, cliProgram(), alpha_});
        QVERIFY(shell.waitForStarted());
        QVERIFY(shell.waitForFinished(60000));
        if (shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 99)
            QSKIP("no mount namespace here");
        const QByteArray err = shell.readAllStandardError();
        if (err.startsWith("unshare:")) QSKIP("no mount namespace here");
        QCOMPARE(shell.exitCode(), 2);
        // TEMP is named too (under the mount it may not even be there any more).
        QVERIFY2(err.contains((open + QStringLiteral(": ")).toUtf8()), err.constData());
        QVERIFY2(err.contains("/tmp: other users can write"), err.constData());
        QCOMPARE(shell.readAllStandardOutput(), QByteArray());
        QVERIFY(QDir(open).isEmpty());
    }

    // A list that never ends, or is larger than "Load" takes, is refused with
    // the clear message instead of growing until memory runs out.
    void listFilesWithoutEndAreRefused() {
        const QByteArray full = findSetsFullMessage().toUtf8();
        const Outcome zero = run({QStringLiteral("-f"), QStringLiteral("/dev/zero"), alpha_});
        QCOMPARE(zero.status, 2);
        QVERIFY2(zero.err.contains("/dev/zero"), zero.err.constData());
        QCOMPARE(zero.out, QByteArray());

        const QString big = dir_.path() + QStringLiteral("/big-list.txt");
        test::writeBytes(big, QByteArray(kMaxListFileBytes + 1, 'a'));
        const Outcome tooLarge = run({QStringLiteral("-f"), big, alpha_});
        QCOMPARE(tooLarge.status, 2);
        QVERIFY2(tooLarge.err.contains(full), tooLarge.err.constData());

        // Standard input fed without end: `yes` ends once the program stops reading.
        QProcess shell;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), work_);
        shell.setProcessEnvironment(env);
        shell.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"),
                     QStringLiteral("yes phrase | \"$0\" -f - \"$1\"; echo \"status $?\""),
                     cliProgram(), alpha_});
        QVERIFY(shell.waitForFinished(60000));
        const QByteArray shellErr = shell.readAllStandardError();
        QVERIFY2(shellErr.contains(full), shellErr.constData());
        QCOMPARE(shell.readAllStandardOutput(), QByteArray("status 2\n"));

        // A list written in pieces is read whole. A fault caught: only the
        // first piece taken as the list.
        QProcess pieces;
        pieces.setProcessEnvironment(env);
        pieces.start(QStringLiteral("bash"),
                     {QStringLiteral("-c"),
                      QStringLiteral("{ echo quick; sleep 0.3; echo lazy; } | \"$0\" -f - \"$1\""),
                      cliProgram(), alpha_});
        QVERIFY(pieces.waitForFinished(60000));
        const Outcome given = run({QStringLiteral("-e"), QStringLiteral("quick"),
                                   QStringLiteral("-e"), QStringLiteral("lazy"), alpha_});
        QCOMPARE(pieces.exitCode(), 0);
        QCOMPARE(pieces.readAllStandardOutput(), given.out);
        noWorkFolderLeft();
    }

    // Paths with blanks, quotes and letters beyond ASCII, given and found in folders.
    // On a terminal, standard error carries a progress line redrawn in place
    // (files done of all, files per second, the file's name); --no-progress turns it off.
    // `script` gives the program a pseudo-terminal.
    void progressLineOnATerminal() {
        const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
        if (script.isEmpty()) QSKIP("no 'script' command to make a pseudo-terminal");
        auto quoted = [](QString a) {
            a.replace(u'\'', QStringLiteral("'\\''"));
            return u'\'' + a + u'\'';
        };
        auto onTerminal = [&](const QStringList& args) {
            QStringList words{quoted(cliProgram())};
            for (const QString& a : args) words << quoted(a);
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TEMP"), work_);
            env.insert(QStringLiteral("COLUMNS"), QStringLiteral("200"));
            p.setProcessEnvironment(env);
            p.start(script, {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"),
                             words.join(u' '), QStringLiteral("/dev/null")});
            p.closeWriteChannel();
            if (!p.waitForFinished(60000)) p.kill();
            return p.readAllStandardOutput();
        };
        const QByteArray shown = onTerminal({QStringLiteral("fox"), alpha_, beta_});
        QVERIFY2(shown.contains("\r\033[K"), shown.constData());
        QVERIFY2(shown.contains(" files/s  "), shown.constData());
        QVERIFY2(shown.contains("/2  "), shown.constData());
        QVERIFY(shown.contains(QFileInfo(beta_).fileName().toUtf8()));
        // The rows themselves still arrive, each on a line of its own.
        QVERIFY(shown.contains(alpha_.toUtf8() + "\t"));

        const QByteArray quiet =
            onTerminal({QStringLiteral("--no-progress"), QStringLiteral("fox"), alpha_});
        QVERIFY(!quiet.contains("\033[K"));
        QVERIFY(!quiet.contains(" files/s"));
        QVERIFY(quiet.contains(alpha_.toUtf8() + "\t"));

        // Not a terminal (the other tests): no progress line at all.
        const Outcome piped = run({QStringLiteral("fox"), alpha_});
        QVERIFY(!piped.err.contains(" files/s"));
        noWorkFolderLeft();
    }

    // "-f -" reads the list from standard input, as "Load" reads a list file.
    void phrasesFromStandardInput() {
        const Outcome piped =
            run({QStringLiteral("-f"), QStringLiteral("-"), alpha_}, "quick\r\n   \r\n\nlazy\n");
        QCOMPARE(piped.status, 0);
        const Outcome given = run({QStringLiteral("-e"), QStringLiteral("quick"),
                                   QStringLiteral("-e"), QStringLiteral("lazy"), alpha_});
        QCOMPARE(piped.lines(), given.lines());
        QCOMPARE(piped.lines().size(), 2);
    }

    // --tsv writes into FIFOs, devices and descriptors in place, never
    // replacing them; "-" and /dev/stdout put the text file on standard output
    // instead of the rows; a target that cannot be written fails before the
    // search.
    void textFileTargets() {
        const QStringList search{QStringLiteral("-i"), QStringLiteral("fox"), alpha_};
        const QString file = dir_.path() + QStringLiteral("/targets.txt");
        QCOMPARE(run(QStringList{QStringLiteral("--tsv"), file} + search).status, 0);
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray expected = saved.readAll();
        QVERIFY(expected.startsWith("Results (File)\t Where\t\r\n"));

        for (const QString& out : {QStringLiteral("-"), QStringLiteral("/dev/stdout")}) {
            const Outcome o = run(QStringList{QStringLiteral("--tsv"), out} + search);
            QCOMPARE(o.status, 0);
            QCOMPARE(o.out, expected);
        }

        const QString fifo = dir_.path() + QStringLiteral("/results.fifo");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QProcess reader;
        reader.start(QStringLiteral("cat"), {fifo});
        QVERIFY(reader.waitForStarted());
        const Outcome toFifo = run(QStringList{QStringLiteral("--tsv"), fifo} + search);
        QCOMPARE(toFifo.status, 0);
        QCOMPARE(toFifo.out.count('\n'), 3);  // the rows are printed as well
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(fifo).constData(), &st) == 0);
        if (!S_ISFIFO(st.st_mode)) reader.kill();  // replaced: cat waits for a writer for ever
        QVERIFY(S_ISFIFO(st.st_mode));
        QVERIFY(reader.waitForFinished(-1));
        QCOMPARE(reader.readAllStandardOutput(), expected);

        // A shell's >(cmd): a pipe on a descriptor the program inherits.
        const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
        if (!bash.isEmpty()) {
            const QString piped = dir_.path() + QStringLiteral("/through a pipe.txt");
            QProcess shell;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TEMP"), work_);
            env.insert(QStringLiteral("QM"), cliProgram());
            env.insert(QStringLiteral("OUT"), piped);
            env.insert(QStringLiteral("PDF"), alpha_);
            shell.setProcessEnvironment(env);
            shell.start(bash, {QStringLiteral("-c"),
                               QStringLiteral("\"$QM\" --tsv >(cat > \"$OUT\") -i fox \"$PDF\" "
                                              ">/dev/null; rc=$?; wait $!; exit $rc")});
            QVERIFY(shell.waitForFinished(-1));
            QCOMPARE(shell.exitCode(), 0);
            QFile pipedFile(piped);
            QVERIFY(pipedFile.open(QIODevice::ReadOnly));
            QCOMPARE(pipedFile.readAll(), expected);
        }

        // A full device is written in place and its error reported.
        const Outcome full =
            run(QStringList{QStringLiteral("--tsv"), QStringLiteral("/dev/full")} + search);
        QCOMPARE(full.status, 2);
        QVERIFY2(full.err.contains("/dev/full: " + QByteArray(std::strerror(ENOSPC))),
                 full.err.constData());
        QVERIFY(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));

        // Failing at once, before anything is searched (no rows printed), with the reason.
        const Outcome proc =
            run(QStringList{QStringLiteral("--tsv"), QStringLiteral("/proc/version")} + search);
        QCOMPARE(proc.status, 2);
        QCOMPARE(proc.out, QByteArray());
        QCOMPARE(proc.errLines().size(), 1);
        QVERIFY2(proc.err.startsWith("quillmark-search: --tsv /proc/version: "),
                 proc.err.constData());
        QVERIFY2(::geteuid() == 0 ? proc.err.contains("cannot make a new file in the folder /proc")
                                  : proc.err.contains(std::strerror(EACCES)),
                 proc.err.constData());
        const Outcome noFolder =
            run(QStringList{QStringLiteral("--tsv"), dir_.path() + QStringLiteral("/none/r.txt")} +
                search);
        QCOMPARE(noFolder.status, 2);
        QCOMPARE(noFolder.out, QByteArray());
        noWorkFolderLeft();
    }

    // A link another user planted in a shared sticky folder is not followed
    // (its target is left alone); one's own link there is written through.
    void linksInASharedFolder() {
        if (::geteuid() != 0) QSKIP("needs root to make a link owned by another user");
        const QString shared = dir_.path() + QStringLiteral("/shared");
        QVERIFY(QDir().mkpath(shared));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        const QString victim = dir_.path() + QStringLiteral("/victim.txt");
        test::writeBytes(victim, "keep me");
        const QString planted = shared + QStringLiteral("/results.txt");
        QVERIFY(QFile::link(victim, planted));
        QVERIFY(::lchown(QFile::encodeName(planted).constData(), 65534, 65534) == 0);

        const Outcome o = run({QStringLiteral("--tsv"), planted, QStringLiteral("fox"), alpha_});
        QCOMPARE(o.status, 2);
        QCOMPARE(o.out, QByteArray());
        QVERIFY2(o.err.contains("another user"), o.err.constData());
        QFile kept(victim);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep me"));

        const QString own = shared + QStringLiteral("/mine.txt");
        QVERIFY(QFile::link(victim, own));
        QCOMPARE(run({QStringLiteral("--tsv"), own, QStringLiteral("fox"), alpha_}).status, 0);
        kept.close();
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.readAll().startsWith("Results (File)"));
    }

    // -n puts the page between path and snippet; counts and the text file stay as they are.
    void pageNumbers() {
        const Outcome n =
            run({QStringLiteral("-n"), QStringLiteral("-i"), QStringLiteral("fox"), alpha_});
        const Outcome plain = run({QStringLiteral("-i"), QStringLiteral("fox"), alpha_});
        QCOMPARE(n.lines().size(), 3);
        const QStringList pages{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2")};
        for (int i = 0; i < 3; ++i) {
            const QStringList fields = n.lines().at(i).split(u'\t');
            QCOMPARE(fields.size(), 3);
            QCOMPARE(fields.at(1), pages.at(i));
            QCOMPARE(fields.at(0) + u'\t' + fields.at(2), plain.lines().at(i));
        }
        QCOMPARE(run({QStringLiteral("-nc"), QStringLiteral("-i"), QStringLiteral("fox"), alpha_})
                     .lines(),
                 QStringList{alpha_ + QStringLiteral("\t3")});
        const QString a = dir_.path() + QStringLiteral("/n.tsv");
        const QString b = dir_.path() + QStringLiteral("/plain.tsv");
        run({QStringLiteral("-n"), QStringLiteral("--tsv"), a, QStringLiteral("fox"), alpha_});
        run({QStringLiteral("--tsv"), b, QStringLiteral("fox"), alpha_});
        QFile fa(a), fb(b);
        QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
        QVERIFY(fa.size() > 20);
        QCOMPARE(fa.readAll(), fb.readAll());
    }

    // --json, -m, -0, --files-from and --color, each as grep users expect it.
    void grepHabits() {
        // One JSON object a line, the snippet as extracted.
        const Outcome j =
            run({QStringLiteral("--json"), QStringLiteral("-i"), QStringLiteral("fox"), alpha_});
        QCOMPARE(j.lines().size(), 3);
        QList<QJsonObject> objects;
        for (const QString& line : j.lines()) {
            QJsonParseError e;
            const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &e);
            QVERIFY2(e.error == QJsonParseError::NoError, qPrintable(line));
            objects << doc.object();
        }
        QCOMPARE(objects[0].keys(), (QStringList{QStringLiteral("match"), QStringLiteral("page"),
                                                 QStringLiteral("path"), QStringLiteral("phrase"),
                                                 QStringLiteral("snippet")}));
        QCOMPARE(objects[0][QStringLiteral("path")].toString(), alpha_);
        QCOMPARE(objects[2][QStringLiteral("page")].toInt(), 2);
        QCOMPARE(objects[2][QStringLiteral("phrase")].toString(), QStringLiteral("fox"));
        QVERIFY(objects[1][QStringLiteral("snippet")].toString().contains(
            QStringLiteral("dog.\nA second fox.")));
        QCOMPARE(
            run({QStringLiteral("--json"), QStringLiteral("-c"), QStringLiteral("fox"), alpha_})
                .out,
            QByteArray("{\"path\":\"") + alpha_.toUtf8() + "\",\"count\":2}\n");

        // -m: at most N rows of each file, in rows and in counts.
        const Outcome m = run({QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-i"),
                               QStringLiteral("fox"), alpha_, beta_});
        QCOMPARE(m.lines().size(), 2);
        QVERIFY(m.lines().at(0).startsWith(alpha_ + u'\t'));
        QVERIFY(m.lines().at(1).startsWith(beta_ + u'\t'));
        QCOMPARE(run({QStringLiteral("-cm2"), QStringLiteral("-i"), QStringLiteral("fox"), alpha_})
                     .lines(),
                 QStringList{alpha_ + QStringLiteral("\t2")});

        // -0: a NUL after the path instead of the TAB or the line end.
        const Outcome z = run({QStringLiteral("-0"), QStringLiteral("lazy"), alpha_});
        QVERIFY(z.out.startsWith(alpha_.toUtf8() + '\0' + "...jumps over the lazy dog. A"));
        QVERIFY(!z.out.contains('\t'));
        QCOMPARE(run({QStringLiteral("-l0"), QStringLiteral("dog"), alpha_, beta_}).out,
                 alpha_.toUtf8() + '\0' + beta_.toUtf8() + '\0');

        // --files-from: lines (CR LF too), NUL-separated with -0, or standard input.
        const QString list = dir_.path() + QStringLiteral("/list.txt");
        test::writeBytes(list, alpha_.toUtf8() + "\r\n\n" + beta_.toUtf8() + "\n");
        QCOMPARE(
            run({QStringLiteral("-l"), QStringLiteral("--files-from"), list, QStringLiteral("dog")})
                .lines(),
            (QStringList{alpha_, beta_}));
        QCOMPARE(run({QStringLiteral("-l"), QStringLiteral("-0"), QStringLiteral("--files-from=-"),
                      QStringLiteral("dog"), scan_},
                     beta_.toUtf8() + '\0' + alpha_.toUtf8() + '\0')
                     .out,
                 beta_.toUtf8() + '\0' + alpha_.toUtf8() + '\0');

        // --color: the occurrence highlighted; never in a pipe unless asked for.
        const Outcome always = run({QStringLiteral("--color=always"), QStringLiteral("-i"),
                                    QStringLiteral("FOX"), alpha_});
        QVERIFY(always.out.contains("brown \033[01;31mfox\033[m jumps"));
        QVERIFY(always.out.contains("\033[01;31mFOX\033[m in"));
        QVERIFY(
            !run({QStringLiteral("--color"), QStringLiteral("fox"), alpha_}).out.contains('\033'));
        QVERIFY(!run({QStringLiteral("--color=never"), QStringLiteral("fox"), alpha_})
                     .out.contains('\033'));

        // Bad values: a usage error, exit 2, and nothing searched.
        const QList<QStringList> bad{
            {QStringLiteral("--color=sometimes"), QStringLiteral("fox"), alpha_},
            {QStringLiteral("-m"), QStringLiteral("0"), QStringLiteral("fox"), alpha_},
            {QStringLiteral("--max-count=x"), QStringLiteral("fox"), alpha_},
            {QStringLiteral("--files-from"), QStringLiteral("-"), QStringLiteral("--ask-password"),
             QStringLiteral("fox")},
            {QStringLiteral("--files-from="), QStringLiteral("fox")},
            {QStringLiteral("--json=yes"), QStringLiteral("fox"), alpha_}};
        for (const QStringList& args : bad) {
            const Outcome o = run(args);
            QCOMPARE(o.status, 2);
            QCOMPARE(o.out, QByteArray());
            QVERIFY2(
                o.errLines().size() == 2 && o.errLines().at(1).startsWith(QStringLiteral("Try ")),
                o.err.constData());
        }
        const Outcome unreadable =
            run({QStringLiteral("--files-from"), dir_.path() + QStringLiteral("/none.txt"),
                 QStringLiteral("fox")});
        QCOMPARE(unreadable.status, 2);
        QCOMPARE(unreadable.errLines().size(), 1);
        noWorkFolderLeft();
    }

    // --color=auto highlights on a terminal, unless NO_COLOR is set.
    void colorOnATerminalAndNoColor() {
        const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
        if (script.isEmpty()) QSKIP("no 'script' command to make a pseudo-terminal");
        auto onTerminal = [&](bool noColor) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TEMP"), work_);
            env.remove(QStringLiteral("NO_COLOR"));
            if (noColor) env.insert(QStringLiteral("NO_COLOR"), QStringLiteral("1"));
            p.setProcessEnvironment(env);
            p.start(script, {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"),
                             u'\'' + cliProgram() + QStringLiteral("' --no-progress lazy '") +
                                 alpha_ + u'\'',
                             QStringLiteral("/dev/null")});
            p.closeWriteChannel();
            if (!p.waitForFinished(60000)) p.kill();
            return p.readAllStandardOutput();
        };
        QVERIFY(onTerminal(false).contains("\033[01;31mlazy\033[m"));
        const QByteArray plain = onTerminal(true);
        QVERIFY(plain.contains("lazy dog"));
        QVERIFY(!plain.contains("\033[01;31m"));
    }

    // --loose finds a phrase that the page wraps at a line end; the default does not.
    void looseFindsWrappedPhrases() {
        const QString wrapped = dir_.path() + QStringLiteral("/wrapped.pdf");
        test::makeTextPdf(
            wrapped, {QStringLiteral("nothing"), QStringLiteral("the net total\nof the invoice")});
        QCOMPARE(run({QStringLiteral("total of"), wrapped}).status, 1);
        const Outcome o = run(
            {QStringLiteral("--loose"), QStringLiteral("-n"), QStringLiteral("total of"), wrapped});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.lines().size(), 1);
        // The snippet is the text as extracted, its line end shown as a blank.
        QVERIFY(o.lines().at(0).startsWith(wrapped + QStringLiteral("\t2\t...")));
        QVERIFY(o.lines().at(0).endsWith(QStringLiteral("the net total of the in...")));
    }

    // "Match across line breaks" gives the window the rows --loose prints.
    void looseRowsAsTheWindowFindsThem() {
        const QString wrapped = dir_.path() + QStringLiteral("/wrapped salad.pdf");
        test::makeTextPdf(wrapped, {QStringLiteral("A bowl of green\nsalad with oil."),
                                    QStringLiteral("Green salad again, and more green"),
                                    QStringLiteral("salad to end.")});
        const Outcome o = run({QStringLiteral("-i"), QStringLiteral("--loose"),
                               QStringLiteral("green salad"), wrapped, alpha_});
        QCOMPARE(o.status, 0);
        // Wrapped at a line end, on one line, and across a page.
        QCOMPARE(o.lines().size(), 3);
        auto w = window();
        w->form->Text1->setText(QStringLiteral("green salad"));
        w->form->Option2->setChecked(true);
        w->form->Check2->setChecked(true);
        w->form->fileList.add({wrapped, alpha_});
        QVERIFY(test::searchToEnd(*w->form));
        QCOMPARE(w->rows(), o.lines());
        // Unticked, the window finds the one on one line only.
        w->form->Check2->setChecked(false);
        QVERIFY(test::searchToEnd(*w->form));
        QCOMPARE(w->rows().size(), 1);
    }

    void unusualPaths() {
        const Outcome o =
            run({QStringLiteral("-l"), QStringLiteral("dog"), QStringLiteral("dir with spaces")});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.lines(), QStringList{QStringLiteral("dir with spaces/Zürich 'quoted' ß.pdf")});
        const Outcome rows = run({QStringLiteral("αλεπού"), beta_});
        QCOMPARE(rows.lines().size(), 1);
        QVERIFY(rows.lines().at(0).startsWith(beta_ + u'\t'));
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliTest)
#include "test_cli.moc"
