// quillmark-search over a folder that holds what a walk finds hard: names
// with wildcard characters and bytes that are not UTF-8 are searched, and a
// folder or file the user may not read is named on standard error with its
// reason and makes the status 2. Root reads everything, so as root the
// program runs as "nobody" (setpriv).
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "fs/fs.h"
#include "support/pdfmaker.h"

namespace qm {

class CliWalkTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& rel) const { return dir_.path() + u'/' + rel; }

    struct Outcome {
        int status = -1;
        QStringList out;
        QStringList err;
    };

    // Runs the program in the test folder through the shell, so that an
    // argument can hold any bytes (`script` is the part after the program).
    Outcome run(const QString& script) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_.path());
        const QString program =
            qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search");
        QString asUser;
        if (::geteuid() == 0)
            asUser = QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups ");
        p.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), asUser + QStringLiteral("\"$0\" ") + script, program});
        Outcome o;
        if (!p.waitForFinished(60000)) p.kill();
        o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        o.err = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        return o;
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(::chmod(QFile::encodeName(dir_.path()).constData(), 0755) == 0);
        QVERIFY(QDir().mkpath(d(QStringLiteral("work"))));
        // Like /tmp: anyone may make a folder there, and only remove their own.
        QVERIFY(::chmod(QFile::encodeName(d(QStringLiteral("work"))).constData(), 01777) == 0);
        test::makeTextPdf(d(QStringLiteral("walk/ok.pdf")),
                          {QStringLiteral("a fox among enough words to be read")});
        test::makeTextPdf(d(QStringLiteral("walk/Questions?/q.pdf")),
                          {QStringLiteral("fox? among enough words to be read")});
        test::makeTextPdf(d(QStringLiteral("walk/[x]*/s.pdf")),
                          {QStringLiteral("fox* among enough words to be read")});
        test::makeTextPdf(d(QStringLiteral("walk/cafe.pdf")),
                          {QStringLiteral("café fox among enough words to be read")});
        QVERIFY(
            ::rename(QFile::encodeName(d(QStringLiteral("walk/cafe.pdf"))).constData(),
                     (QFile::encodeName(d(QStringLiteral("walk"))) + "/caf\xe9.pdf").constData()) ==
            0);
        test::makeTextPdf(d(QStringLiteral("walk/secret.pdf")),
                          {QStringLiteral("secret fox among enough words to be read")});
        test::makeTextPdf(d(QStringLiteral("walk/locked/x.pdf")),
                          {QStringLiteral("locked fox among enough words to be read")});
        QVERIFY(::chmod(QFile::encodeName(d(QStringLiteral("walk/secret.pdf"))).constData(), 0) ==
                0);
        QVERIFY(::chmod(QFile::encodeName(d(QStringLiteral("walk/locked"))).constData(), 0) == 0);
    }
    void cleanupTestCase() {
        ::chmod(QFile::encodeName(d(QStringLiteral("walk/locked"))).constData(), 0755);
        ::unlink((QFile::encodeName(d(QStringLiteral("walk"))) + "/caf\xe9.pdf").constData());
    }

    // Catches folders with "?", "*" or "[" and names that are not UTF-8 left
    // out, and unreadable folders and files passed over with status 0.
    void everyFileIsSearchedOrNamed() {
        const Outcome o = run(QStringLiteral("-l fox walk"));
        QCOMPARE(o.status, 2);
        QStringList listed = o.out;
        listed.sort();
        QCOMPARE(
            listed,
            (QStringList{QStringLiteral("walk/Questions?/q.pdf"), QStringLiteral("walk/[x]*/s.pdf"),
                         QStringLiteral("walk/caf\\xE9.pdf"), QStringLiteral("walk/ok.pdf")}));
        QStringList errors = o.err;
        errors.sort();
        QCOMPARE(errors, (QStringList{
                             QStringLiteral("quillmark-search: walk/locked/: Permission denied"),
                             QStringLiteral("quillmark-search: walk/secret.pdf: Permission denied"),
                         }));
    }

    // Catches "file not found" for a name that is not UTF-8 given as it is,
    // as an argument or in a list of --files-from.
    void aNameThatIsNotUtf8IsSearchedWhenNamed() {
        QFile list(d(QStringLiteral("list")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("walk/caf\xe9.pdf\n");
        list.close();
        for (const QString& script : {QStringLiteral("fox \"walk/$(printf 'caf\\351.pdf')\""),
                                      QStringLiteral("fox --files-from list")}) {
            const Outcome o = run(script);
            QCOMPARE(o.status, 0);
            QCOMPARE(o.out.size(), 1);
            QVERIFY2(o.out[0].startsWith(QStringLiteral("walk/caf\\xE9.pdf\t")),
                     qPrintable(o.out[0]));
            QVERIFY2(o.err.isEmpty(), qPrintable(o.err.join(u'\n')));
        }
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliWalkTest)
#include "test_cli_walk.moc"
