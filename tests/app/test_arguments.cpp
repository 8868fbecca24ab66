// The command line of the window: the arguments it reads, --help and --version
// without a display, and the files and folders it is given, which must reach
// the file list exactly as a drop of the same paths does. Services are
// scripted; a fake extractor stands in for pdftotext so that the check after
// the add reports the files named (and holding) "bad".
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "app/form1.h"
#include "app/program.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"

using namespace qm;

namespace {

const QString kCheckStart = QStringLiteral("These files could not be read:");

struct Window : test::TestWindow {
    Window(const QString& iniPath, const QString& extractor) : TestWindow(iniPath) {
        form->ExtractorPath = extractor;
    }
    QStringList checkReports() const { return messagesStartingWith(kCheckStart); }
    void drop(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form->ListView1->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form->ListView1->viewport(), &event);
        QVERIFY(event.isAccepted());
    }
};

// The built program, run without a display unless `platform` names one.
struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};
Run runProgramBinary(const QStringList& arguments, const QString& platform = QString()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/app/quillmark"),
            arguments);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

}  // namespace

class ArgumentsTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString extractor;

    QString path(const QString& rel) const { return tmp.path() + u'/' + rel; }
    void touch(const QString& rel) {
        QVERIFY(QDir().mkpath(QFileInfo(path(rel)).path()));
        QFile f(path(rel));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(rel.contains(QStringLiteral("bad")) ? "%PDF-1.4 bad\n" : "%PDF-1.4\n");
    }
    QString ini(const QString& name) const { return path(name + QStringLiteral(".ini")); }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        createWorkFolder();
        // Writes readable text for every file except those that hold "bad"
        // (the extractor sees only a copy, named after nothing of the original).
        extractor = test::writeReadableExtractor(tmp.path());

        touch(QStringLiteral("tree/z.pdf"));
        touch(QStringLiteral("tree/notes.txt"));
        touch(QStringLiteral("tree/~lock.pdf"));
        touch(QStringLiteral("tree/inner/bad.pdf"));
        touch(QStringLiteral("loose/b.pdf"));
        touch(QStringLiteral("loose/a.pdf"));
    }
    void cleanupTestCase() { removeWorkFolder(); }

    void argumentsAreReadInOrder() {
        ProgramArguments a = parseProgramArguments(
            {QStringLiteral("b.pdf"), QStringLiteral("-"), QStringLiteral("a folder"),
             QStringLiteral("--"), QStringLiteral("--help"), QStringLiteral("-x.pdf")});
        QVERIFY(!a.help);
        QVERIFY(!a.version);
        QVERIFY(a.error.isEmpty());
        QCOMPARE(a.paths, (QStringList{"b.pdf", "-", "a folder", "--help", "-x.pdf"}));

        // --help and --version are seen wherever they stand, also after an
        // option that is not ours (Qt's own are only taken out later).
        a = parseProgramArguments(
            {QStringLiteral("-style"), QStringLiteral("x.pdf"), QStringLiteral("--help")});
        QVERIFY(a.help);
        QCOMPARE(a.error, QStringLiteral("unknown option: -style"));
        QVERIFY(parseProgramArguments({QStringLiteral("-h")}).help);
        a = parseProgramArguments({QStringLiteral("x.pdf"), QStringLiteral("--version")});
        QVERIFY(a.version);
        QVERIFY(!a.help);

        a = parseProgramArguments({QStringLiteral("--helpme"), QStringLiteral("--bogus")});
        QVERIFY(!a.help);
        QCOMPARE(a.error, QStringLiteral("unknown option: --helpme"));
    }

    void helpAndVersionNeedNoDisplay() {
        Run help = runProgramBinary({QStringLiteral("x.pdf"), QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QCOMPARE(help.out, programUsageText());
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: quillmark [FILE|FOLDER]...\n")));
        QVERIFY(help.err.isEmpty());

        Run version = runProgramBinary({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, programVersionText() + u'\n');
        QVERIFY(version.out.startsWith(QStringLiteral("quillmark (Quillmark) ")));
        QVERIFY(version.out.trimmed().back().isDigit());

        // A mistaken option ends the program before any window is made, with
        // a display or without one, after Qt's own options too.
        for (const QString& platform : {QStringLiteral("offscreen"), QString()}) {
            Run wrong = runProgramBinary(
                {QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--reverse"),
                 QStringLiteral("--bogus"), QStringLiteral("x.pdf")},
                platform);
            QCOMPARE(wrong.exitCode, 2);
            QVERIFY(wrong.out.isEmpty());
            QCOMPARE(wrong.err, QStringLiteral("quillmark: unknown option: --bogus\nTry "
                                               "'quillmark --help' for more information.\n"));
        }
    }

    // What Qt takes for itself is left out of the check for mistaken options.
    void qtOwnOptionsAreNotMistakes() {
        const QStringList given{
            "-platform", "offscreen", "--style=fusion", "-reverse", "-qwindowtitle", "T", "a.pdf",
            "-x",        "--",        "-style",         "b.pdf"};
        QCOMPARE(withoutQtOptions(given), (QStringList{"a.pdf", "-x", "--", "-style", "b.pdf"}));
    }

    void pathsAreAddedAsADropAddsThem() {
        const QStringList given{path(QStringLiteral("loose/b.pdf")), path(QStringLiteral("tree/")),
                                path(QStringLiteral("loose/a.pdf")),
                                path(QStringLiteral("loose/b.pdf"))};
        Window opened(ini(QStringLiteral("opened")), extractor);
        QStringList missing;
        openPaths(*opened.form, given, QString(), &missing);
        QVERIFY(test::checkToEnd(*opened.form));
        QVERIFY(missing.isEmpty());

        // Files in the order given (a repeated one twice), the folder walked
        // with every file below it whatever its extension, "~" names left out.
        const QStringList expected{
            path(QStringLiteral("loose/b.pdf")), path(QStringLiteral("tree/notes.txt")),
            path(QStringLiteral("tree/z.pdf")),  path(QStringLiteral("tree/inner/bad.pdf")),
            path(QStringLiteral("loose/a.pdf")), path(QStringLiteral("loose/b.pdf"))};
        QCOMPARE(opened.list(), expected);
        // One add-time check over the whole list.
        QCOMPARE(opened.checkReports(),
                 QStringList{checkReportText(
                     path(QStringLiteral("tree/inner/bad.pdf")) +
                     QStringLiteral("  - not a PDF file, or the file is damaged.\r\n"))});
        QCOMPARE(opened.boxes.shown.size(), size_t(1));
        QCOMPARE(opened.form->mousePointer(), int(MousePointer::Default));

        Window dropped(ini(QStringLiteral("dropped")), extractor);
        dropped.drop(given);
        // The drop lets the dragging program go first; the paths follow.
        QCoreApplication::sendPostedEvents();
        QVERIFY(test::checkToEnd(*dropped.form));
        QCOMPARE(dropped.list(), opened.list());
        QCOMPARE(dropped.checkReports(), opened.checkReports());
    }

    void missingPathsAreLeftOut() {
        Window w(ini(QStringLiteral("missing")), extractor);
        QStringList missing;
        openPaths(*w.form,
                  {path(QStringLiteral("gone.pdf")), path(QStringLiteral("loose/a.pdf")),
                   path(QStringLiteral("gone folder/")), QString()},
                  QString(), &missing);
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.list(), QStringList{path(QStringLiteral("loose/a.pdf"))});
        QCOMPARE(missing, (QStringList{path(QStringLiteral("gone.pdf")),
                                       path(QStringLiteral("gone folder/")), QString()}));
        // One box names them, as given; the check ran and found nothing to report.
        QCOMPARE(w.boxes.messageTexts(),
                 QStringList{QStringLiteral("These files and folders do not exist and were not "
                                            "added to the list:\r\n\r\n") +
                             path(QStringLiteral("gone.pdf")) + QStringLiteral("\r\n") +
                             path(QStringLiteral("gone folder/")) + QStringLiteral("\r\n")});

        // Nothing left: the list is untouched and no check runs (it would
        // report the unreadable entry already listed); the box still says why.
        w.form->fileList.add(path(QStringLiteral("tree/inner/bad.pdf")));
        openPaths(*w.form, {path(QStringLiteral("gone.pdf"))});
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.list().size(), 2);
        QCOMPARE(w.boxes.messageTexts(),
                 (QStringList{w.boxes.messageTexts()[0],
                              missingPathsMessage({path(QStringLiteral("gone.pdf"))})}));
    }

    void relativePathsAreTakenFromTheCurrentFolder() {
        Window w(ini(QStringLiteral("relative")), extractor);
        QStringList missing;
        openPaths(*w.form,
                  {QStringLiteral("./loose/../loose/a.pdf"), QStringLiteral("inner"),
                   QStringLiteral("a.pdf")},
                  path(QStringLiteral("tree")), &missing);
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.list(), QStringList{path(QStringLiteral("tree/inner/bad.pdf"))});
        QCOMPARE(missing, (QStringList{"./loose/../loose/a.pdf", "a.pdf"}));

        Window from(ini(QStringLiteral("from")), extractor);
        openPaths(*from.form, {QStringLiteral("loose//b.pdf"), QStringLiteral("tree/z.pdf")},
                  tmp.path());
        QVERIFY(test::checkToEnd(*from.form));
        QCOMPARE(from.list(), (QStringList{path(QStringLiteral("loose/b.pdf")),
                                           path(QStringLiteral("tree/z.pdf"))}));
    }
};

QTEST_MAIN(ArgumentsTest)
#include "test_arguments.moc"
