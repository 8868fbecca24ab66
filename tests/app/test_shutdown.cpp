// Closing the window ends the program normally: the event loop returns, the
// window and the application object are destroyed (the application's
// destructor is what hands the clipboard to the desktop), and the private work
// folder is gone. SIGTERM in the middle of a search ends it the same way. The
// program runs in a child process of this test, as started by `quillmark`, so
// that a forced exit shows as a missing mark.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>

#include <QLineEdit>
#include <QPushButton>

#include "app/form1.h"
#include "app/program.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "support/pdfmaker.h"

namespace {

constexpr const char* kChildFlag = "--run-program";
constexpr const char* kSearchFlag = "--run-search";

// The application object of the child, which leaves a mark when destroyed.
class MarkingApplication : public QApplication {
  public:
    MarkingApplication(int& argc, char** argv, QString mark)
        : QApplication(argc, argv), mark_(std::move(mark)) {}
    ~MarkingApplication() override {
        QFile f(mark_);
        if (f.open(QIODevice::Append)) f.write("application destroyed\n");
    }

  private:
    QString mark_;
};

// argv: program --run-program MARKFILE
int runChild(int argc, char** argv) {
    const QString mark = QString::fromLocal8Bit(argv[2]);
    int childArgc = 1;
    MarkingApplication app(childArgc, argv, mark);
    qm::ProgramStart start;
    start.applicationFolder = QDir::tempPath();
    start.shown = [&](qm::Form1& window) {
        QTimer::singleShot(0, &window, [&window, mark] {
            QFile f(mark);
            if (f.open(QIODevice::Append))
                f.write(("work folder " + qm::workFolder() + "\n").toLocal8Bit());
            QApplication::clipboard()->setText(QStringLiteral("copied results"));
            window.close();
        });
    };
    const int rc = qm::runProgram(app, start);
    QFile f(mark);
    if (f.open(QIODevice::Append)) f.write("event loop returned\n");
    (void)argc;
    return rc;
}

// argv: program --run-search MARKFILE EXTRACTOR PDF: starts a search of PDF
// with EXTRACTOR once the window shows.
int runSearchChild(char** argv) {
    const QString mark = QString::fromLocal8Bit(argv[2]);
    const QString extractor = QString::fromLocal8Bit(argv[3]);
    const QString pdf = QString::fromLocal8Bit(argv[4]);
    int childArgc = 1;
    MarkingApplication app(childArgc, argv, mark);
    qm::ProgramStart start;
    start.applicationFolder = QDir::tempPath();
    start.shown = [&](qm::Form1& window) {
        QTimer::singleShot(0, &window, [&window, mark, extractor, pdf] {
            QFile f(mark);
            if (f.open(QIODevice::Append))
                f.write(("work folder " + qm::workFolder() + "\n").toLocal8Bit());
            f.close();
            window.ExtractorPath = extractor;
            window.Text1->setText(QStringLiteral("fox"));
            window.fileList.add(pdf);
            window.PushButton7->click();
        });
    };
    const int rc = qm::runProgram(app, start);
    QFile f(mark);
    if (f.open(QIODevice::Append)) f.write("event loop returned\n");
    return rc;
}

// Makes a leftover work folder in `temp` whose owner file names `pid`.
QString plantWorkFolder(const QString& temp, const QString& name, qint64 pid) {
    const QString path = temp + u'/' + name;
    QDir().mkpath(path + QStringLiteral("/ex0"));
    QFile copy(path + QStringLiteral("/ex0/tmp.pdf"));
    if (copy.open(QIODevice::WriteOnly)) copy.write("%PDF-1.4 a copy of a document");
    QFile owner(path + QStringLiteral("/owner"));
    if (owner.open(QIODevice::WriteOnly)) owner.write(QByteArray::number(pid) + '\n');
    return path;
}

// A process id that no longer runs.
qint64 endedProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// True when `pid` is gone or only waits to be reaped.
bool processEnded(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 2, 1) == "Z";
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

}  // namespace

class ShutdownTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void closingTheWindowEndsTheProgramNormally() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("temp")));
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("config")));
        const QString mark = tmp.filePath(QStringLiteral("mark.txt"));
        // Left behind by a run that was killed, and by one still running.
        const QString temp = tmp.filePath(QStringLiteral("temp"));
        plantWorkFolder(temp, QStringLiteral("quillmark-ended"), endedProcessId());
        plantWorkFolder(temp, QStringLiteral("quillmark-running"), ::getpid());

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), tmp.filePath(QStringLiteral("temp")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kChildFlag), mark});
        QVERIFY(child.waitForFinished(-1));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        QFile f(mark);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromLocal8Bit(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith(QStringLiteral("work folder ") + tmp.filePath("temp")),
                 qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("event loop returned"));
        QCOMPARE(lines[2], QStringLiteral("application destroyed"));
        const QString work = lines[0].mid(QStringLiteral("work folder ").size());
        QVERIFY(!QFileInfo::exists(work));
        // The leftover of the ended run went at start-up; the running one's stays.
        QCOMPARE(entries(temp), QStringList{QStringLiteral("quillmark-running")});
    }

    // A fault caught: a terminated window leaving copies of documents (tmp.pdf,
    // tmp.txt) in the temporary folder and the extractor running.
    void terminatingTheWindowMidSearchLeavesNoWorkFiles() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString temp = tmp.filePath(QStringLiteral("temp"));
        QVERIFY(QDir().mkpath(temp));
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("config")));
        const QString mark = tmp.filePath(QStringLiteral("mark.txt"));
        const QString pidFile = tmp.filePath(QStringLiteral("extractor.pid"));
        const QString pdf = tmp.filePath(QStringLiteral("a.pdf"));
        qm::test::writeBytes(pdf, "%PDF-1.4 the document");
        const QString extractor = qm::test::writeScript(
            tmp.path(), QStringLiteral("stuck"),
            QStringLiteral("echo $$ > '") + pidFile + QStringLiteral("'\nexec sleep 300\n"));

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), temp);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), tmp.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kSearchFlag), mark, extractor, pdf});
        QVERIFY(child.waitForStarted());
        // The extractor runs on the copy in the work folder.
        QTRY_VERIFY_WITH_TIMEOUT(QFile(pidFile).size() > 0, 60000);
        QFile pf(pidFile);
        QVERIFY(pf.open(QIODevice::ReadOnly));
        const qint64 extractorPid = pf.readAll().trimmed().toLongLong();
        QVERIFY(extractorPid > 0);
        QCOMPARE(entries(temp).size(), 1);

        QCOMPARE(::kill(static_cast<pid_t>(child.processId()), SIGTERM), 0);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 128 + SIGTERM);
        QVERIFY(entries(temp).isEmpty());
        QVERIFY(processEnded(extractorPid));
        QFile f(mark);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("event loop returned"));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0) return runChild(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], kSearchFlag) == 0) return runSearchChild(argv);
    QCoreApplication app(argc, argv);
    ShutdownTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_shutdown.moc"
