// Closing the window ends the program normally: the event loop returns, the
// window and the application object are destroyed (the application's
// destructor is what hands the clipboard to the desktop), and the private work
// folder is gone. The program runs in a child process of this test, as
// started by `quillmark`, so that a forced exit shows as a missing mark.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>

#include "app/form1.h"
#include "app/program.h"
#include "platform/settings.h"

namespace {

constexpr const char* kChildFlag = "--run-program";

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
        QVERIFY(QDir(tmp.filePath(QStringLiteral("temp")))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0) return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    ShutdownTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_shutdown.moc"
