#pragma once
// What the command line printed and ended with, for the tests that run it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace qm::test {

struct CliOutcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
    QStringList lines() const { return splitLines(out); }
    QStringList errLines() const { return splitLines(err); }

    static QStringList splitLines(const QByteArray& bytes) {
        QStringList l = QString::fromUtf8(bytes).split(u'\n');
        if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
        return l;
    }
};

// Writes `input` to `p` (started), closes its input and waits for its end (at
// most `ms`, then it is killed): what it printed and ended with (-1: killed).
inline CliOutcome finishCli(QProcess& p, const QByteArray& input = {}, int ms = 60000) {
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    CliOutcome o;
    if (!p.waitForFinished(ms)) p.kill();
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = p.readAllStandardOutput();
    o.err = p.readAllStandardError();
    return o;
}

// The program as built beside the tests.
inline QString cliProgram() {
    return qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search");
}

}  // namespace qm::test
