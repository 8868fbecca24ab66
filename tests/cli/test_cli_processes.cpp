// The extractors of quillmark-search follow the program: Ctrl+Z (SIGTSTP)
// stops them with it and SIGCONT resumes them, and when the program is killed
// outright they end too. The extractor is a script that notes its process id
// and sleeps.
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/pdfmaker.h"

namespace qm {

namespace {

// The state letter of /proc/PID/stat ('R', 'S', 'T', 'Z', ...); 0 when the
// process is gone.
char stateOf(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray stat = f.readAll();
    const qsizetype close = stat.lastIndexOf(')');  // the name may hold blanks
    return close >= 0 && close + 2 < stat.size() ? stat[close + 2] : 0;
}

// Waits up to ten seconds for `pid` to be in a state `wanted` accepts.
template <class F>
bool waitForState(pid_t pid, F wanted) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        if (wanted(stateOf(pid))) return true;
        QTest::qWait(20);
    }
    return false;
}

bool stopped(char s) {
    return s == 'T';
}
bool running(char s) {
    return s == 'S' || s == 'R';
}
bool gone(char s) {
    return s == 0 || s == 'Z' || s == 'X';
}

}  // namespace

class CliProcessesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString pdf_, extractor_, pidFile_;

    QString d(const QString& name) const { return dir_.path() + u'/' + name; }

    // The program searching the made file with the sleeping extractor, and the
    // extractor's process id once it runs.
    pid_t startSearch(QProcess& p) {
        QFile::remove(pidFile_);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        env.insert(QStringLiteral("QM_EXTRACTOR"), extractor_);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search"),
                {QStringLiteral("phrase"), pdf_});
        if (!p.waitForStarted()) return 0;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            QFile f(pidFile_);
            if (f.open(QIODevice::ReadOnly)) {
                const pid_t pid = f.readAll().trimmed().toInt();
                if (pid > 0) return pid;
            }
            QTest::qWait(20);
        }
        return 0;
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QDir().mkpath(d(QStringLiteral("work")));
        pdf_ = d(QStringLiteral("a.pdf"));
        test::makeTextPdf(pdf_, {QStringLiteral("a phrase")});
        pidFile_ = d(QStringLiteral("extractor.pid"));
        extractor_ = test::writeScript(dir_.path(), QStringLiteral("sleeper"),
                                       QStringLiteral("echo $$ > '%1.new'\n"
                                                      "mv '%1.new' '%1'\n"
                                                      "exec sleep 60")
                                           .arg(pidFile_));
    }

    // Catches extractors left running at full speed while the program is
    // stopped (they lead process groups the terminal's Ctrl+Z does not reach),
    // and left stopped after the program goes on.
    void ctrlZStopsAndResumesTheExtractor() {
        QProcess p;
        const pid_t child = startSearch(p);
        QVERIFY(child > 0);
        const pid_t program = static_cast<pid_t>(p.processId());
        QVERIFY(waitForState(child, running));

        ::kill(program, SIGTSTP);
        QVERIFY(waitForState(program, stopped));
        QVERIFY(waitForState(child, stopped));

        ::kill(program, SIGCONT);
        QVERIFY(waitForState(program, running));
        QVERIFY(waitForState(child, running));

        ::kill(program, SIGKILL);
        p.waitForFinished();
    }

    // Catches rows held back for a pipe until the run ends: a file whose
    // extraction takes long would keep the rows found before it unread.
    void rowsReachAPipeWhileALaterFileIsRead() {
        const QString slow = d(QStringLiteral("slow.pdf"));
        test::writeBytes(slow, "slowmarker");
        const QString extractor = test::writeScript(
            dir_.path(), QStringLiteral("slowsecond"),
            QStringLiteral("if grep -q slowmarker \"$1\"; then exec sleep 60; fi\n"
                           "exec pdftotext \"$@\""));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        env.insert(QStringLiteral("QM_EXTRACTOR"), extractor);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search"),
                {QStringLiteral("-j1"), QStringLiteral("phrase"), pdf_, slow});
        QVERIFY(p.waitForStarted());
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("a phrase") && t.elapsed() < 10000) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        QVERIFY2(out.contains("a phrase"), out.constData());
        QCOMPARE(p.state(), QProcess::Running);  // the slow file is still being read
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished();
    }

    // Catches extractors that run on as orphans after the program is killed
    // (SIGKILL leaves it no chance to end them itself).
    void killingTheProgramEndsTheExtractor() {
        QProcess p;
        const pid_t child = startSearch(p);
        QVERIFY(child > 0);
        QVERIFY(waitForState(child, running));
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished();
        QVERIFY(waitForState(child, gone));
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliProcessesTest)
#include "test_cli_processes.moc"
