// quillmark-search over a folder that holds what a walk finds hard: names
// with wildcard characters and bytes that are not UTF-8 are searched, and a
// folder or file the user may not read is named on standard error with its
// reason and makes the status 2. Root reads everything, so as root the
// program runs as "nobody" (setpriv).
#include <fcntl.h>
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
        QByteArray outBytes;
        QByteArray errBytes;
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
        o.outBytes = p.readAllStandardOutput();
        o.errBytes = p.readAllStandardError();
        o.out = QString::fromUtf8(o.outBytes).split(u'\n', Qt::SkipEmptyParts);
        o.err = QString::fromUtf8(o.errBytes).split(u'\n', Qt::SkipEmptyParts);
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
        for (const char* name : {"/list\xe9", "/broken\xe9.pdf"})
            ::unlink((QFile::encodeName(dir_.path()) + name).constData());
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
                         QString::fromUtf8("walk/caf\xE9.pdf"), QStringLiteral("walk/ok.pdf")}));
        QStringList errors = o.err;
        errors.sort();
        QCOMPARE(errors, (QStringList{
                             QStringLiteral("quillmark-search: walk/locked/: Permission denied"),
                             QStringLiteral("quillmark-search: walk/secret.pdf: Permission denied"),
                         }));
    }

    // Catches a name that is not UTF-8 printed as another name ("caf?.pdf",
    // "caf\xE9.pdf"): every output gives its bytes back, JSON in "path_bytes";
    // and "file not found" for such a name given as an argument or listed in
    // a list of --files-from, whatever that list's own name.
    void aNameThatIsNotUtf8IsPrintedAsItsBytes() {
        const QByteArray root = QFile::encodeName(dir_.path());
        for (const auto& [file, content] :
             {std::pair<QByteArray, QByteArray>{"/list\xe9", "walk/caf\xe9.pdf\n"},
              {"/broken\xe9.pdf", "no PDF"}}) {
            const int fd = ::open((root + file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0 && ::write(fd, content.constData(), content.size()) == content.size());
            QVERIFY(::close(fd) == 0);
        }
        const QString name = QStringLiteral("\"walk/$(printf 'caf\\351.pdf')\" ");
        const QString listName = QStringLiteral("\"$(printf 'list\\351')\" ");
        const QByteArray bytes = "walk/caf\xe9.pdf";
        struct Case {
            QString script;
            QByteArray out;  // the whole of standard output, or with `prefix` its start
            bool prefix = false;
        };
        const Case cases[] = {
            {QStringLiteral("fox ") + name, bytes + '\t', true},
            {QStringLiteral("fox --files-from ") + listName, bytes + '\t', true},
            {QStringLiteral("-l fox ") + name, bytes + '\n'},
            {QStringLiteral("-l -0 fox ") + name, bytes + '\0'},
            {QStringLiteral("-c fox ") + name, bytes + "\t1\n"},
            {QStringLiteral("--json -l fox ") + name,
             "{\"path\":\"walk/caf?.pdf\",\"path_bytes\":\"" + bytes.toBase64() + "\"}\n"},
            {QStringLiteral("--json -l fox walk/ok.pdf"), "{\"path\":\"walk/ok.pdf\"}\n"},
        };
        for (const Case& c : cases) {
            const Outcome o = run(c.script);
            QCOMPARE(o.status, 0);
            QCOMPARE(c.prefix ? o.outBytes.left(c.out.size()) : o.outBytes, c.out);
            QVERIFY2(o.err.isEmpty(), qPrintable(o.err.join(u'\n')));
        }
        // The report of the files that could not be read names them the same way.
        const Outcome o = run(QStringLiteral("fox \"$(printf 'broken\\351.pdf')\""));
        QCOMPARE(o.status, 2);
        QVERIFY2(o.errBytes.contains("\nbroken\xe9.pdf"), o.errBytes.constData());
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliWalkTest)
#include "test_cli_walk.moc"
