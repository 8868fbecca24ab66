#pragma once
// What the command line printed and ended with, for the tests that run it.

#include <QByteArray>
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

// The program as built beside the tests.
inline QString cliProgram() {
    return qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search");
}

}  // namespace qm::test
