// quillmark-search's exit status and quiet options, as grep's: 2 when an error
// occurred, -q ending at the first match, -s, -H and -h, Ctrl+C; and names
// that could take over the terminal shown safely on standard error.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/extractor.h"
#include "support/cliprocess.h"
#include "support/pdfmaker.h"

namespace qm {

namespace {

using Outcome = test::CliOutcome;
using test::cliProgram;

}  // namespace

class CliStatusTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString alpha_, scan_, locked_, notPdf_, missing_, logging_, log_, slow_;

    QString d(const QString& name) const { return dir_.path() + u'/' + name; }

    QProcess* start(const QStringList& args, const QString& extractor = QString()) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        if (!extractor.isEmpty()) env.insert(QStringLiteral("QM_EXTRACTOR"), extractor);
        p->setProcessEnvironment(env);
        p->start(cliProgram(), args);
        return p;
    }
    static Outcome finish(QProcess* p) {
        const Outcome o = test::finishCli(*p);
        delete p;
        return o;
    }
    Outcome run(const QStringList& args, const QString& extractor = QString()) {
        return finish(start(args, extractor));
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(!findExtractor().isEmpty());
        QVERIFY(QDir().mkpath(d(QStringLiteral("work"))));
        alpha_ = d(QStringLiteral("alpha.pdf"));
        test::makeTextPdf(alpha_, {QStringLiteral("The quick brown fox.")});
        scan_ = d(QStringLiteral("scanned.pdf"));
        test::makeImagePdf(scan_);
        const QString plain = d(QStringLiteral("plain.pdf"));
        test::makeTextPdf(plain, {QStringLiteral("A locked fox.")});
        locked_ = d(QStringLiteral("locked.pdf"));
        QVERIFY(test::encryptPdf(plain, locked_, QStringLiteral("pw"), QStringLiteral("pw")));
        notPdf_ = d(QStringLiteral("not a pdf.pdf"));
        test::writeBytes(notPdf_, "a fox, and no PDF at all");
        missing_ = d(QStringLiteral("gone.pdf"));
        // A stand-in extractor that logs each call and finds a fox in every file.
        log_ = d(QStringLiteral("calls"));
        const QString write = QStringLiteral(
            "for a; do last=$a; done\n"
            "if [ \"$last\" = - ]; then printf 'the fox'; "
            "else printf 'the fox' > \"${last%.pdf}.txt\"; fi\n");
        logging_ =
            test::writeScript(dir_.path(), QStringLiteral("logging.sh"),
                              QStringLiteral("echo x >> '") + log_ + QStringLiteral("'\n") + write);
        slow_ = test::writeScript(dir_.path(), QStringLiteral("slow.sh"),
                                  QStringLiteral("sleep 1\n") + write);
        for (int i = 1; i <= 6; ++i)
            test::writeBytes(d(QStringLiteral("many/f%1.pdf").arg(i)), "x");
    }

    // 0 found, 1 nothing found, 2 an error even with something found; files
    // without text are answers, not errors; -q answers 0 at the first match
    // whatever else happened, and prints nothing; -s hides the reports only.
    void statusesAsGrepGivesThem() {
        const QString fox = QStringLiteral("fox");
        const QString zebra = QStringLiteral("zebra");
        const QString q = QStringLiteral("-q");
        const QString s = QStringLiteral("-s");
        struct Case {
            QStringList args;
            int status;
            bool printed;   // rows on standard output
            bool reported;  // something on standard error
        };
        const Case cases[] = {
            {{fox, alpha_}, 0, true, false},
            {{zebra, alpha_}, 1, false, false},
            {{fox, alpha_, scan_, locked_}, 0, true, true},
            {{zebra, scan_, locked_}, 1, false, true},
            {{fox, alpha_, missing_}, 2, true, true},
            {{fox, missing_, alpha_}, 2, true, true},
            {{fox, alpha_, notPdf_}, 2, true, true},
            {{zebra, missing_}, 2, false, true},
            {{s, fox, alpha_, missing_}, 2, true, false},
            {{s, zebra, scan_}, 1, false, false},
            {{q, fox, missing_, alpha_}, 0, false, true},
            {{q, fox, alpha_}, 0, false, false},
            {{q, zebra, alpha_}, 1, false, false},
            {{q, zebra, alpha_, missing_}, 2, false, true},
            {{q, s, zebra, alpha_, missing_}, 2, false, false},
            {{q, QStringLiteral("-c"), fox, alpha_}, 0, false, false},
        };
        for (const Case& c : cases) {
            const Outcome o = run(c.args);
            const QByteArray what = c.args.join(u' ').toUtf8() + "\n" + o.out + o.err;
            QVERIFY2(o.status == c.status, what.constData());
            QVERIFY2(o.out.isEmpty() != c.printed, what.constData());
            QVERIFY2(o.err.isEmpty() != c.reported, what.constData());
        }
    }

    // -q ends the run at its first match: of six files, the rest are never extracted.
    void quietEndsAtTheFirstMatch() {
        QFile::remove(log_);
        const Outcome o = run({QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("1"),
                               QStringLiteral("fox"), d(QStringLiteral("many"))},
                              logging_);
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out, QByteArray());
        QFile calls(log_);
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QVERIFY2(calls.readAll().count('\n') <= 2, "files extracted after the first match");
    }

    // -h leaves the path out of rows and counts, -H puts it back (the last wins).
    void pathsInRowsOrNot() {
        const QString fox = QStringLiteral("fox");
        const QByteArray row = run({fox, alpha_}).out;
        const QByteArray path = alpha_.toUtf8() + '\t';
        QVERIFY2(row.startsWith(path) && row.count('\n') == 1, row.constData());
        const QByteArray snippet = row.mid(path.size());
        QCOMPARE(run({QStringLiteral("-H"), fox, alpha_}).out, row);
        QCOMPARE(run({QStringLiteral("-h"), fox, alpha_}).out, snippet);
        QCOMPARE(run({QStringLiteral("-hn"), fox, alpha_}).out, "1\t" + snippet);
        QCOMPARE(run({QStringLiteral("-hc"), fox, alpha_}).out, QByteArray("1\n"));
        QCOMPARE(
            run({QStringLiteral("-h"), QStringLiteral("-H"), QStringLiteral("-c"), fox, alpha_})
                .out,
            path + "1\n");
        // -l prints paths whatever -h says.
        QCOMPARE(run({QStringLiteral("-hl"), fox, alpha_}).out, (alpha_ + u'\n').toUtf8());
    }

    // Ctrl+C: what was found is printed, and the status says the run was cut
    // short: 128 + the signal. Catches SIGTERM and SIGHUP told as Ctrl+C (130).
    void interruptedRunEndsWith128AndItsSignal() {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            QProcess* p = start({QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("fox"),
                                 d(QStringLiteral("many"))},
                                slow_);
            QByteArray out;
            while (!out.contains('\n') && p->state() != QProcess::NotRunning) {
                p->waitForReadyRead(10000);
                out += p->readAllStandardOutput();
            }
            QVERIFY(out.contains("\tthe fox..."));
            ::kill(static_cast<pid_t>(p->processId()), sig);
            const Outcome o = finish(p);
            QCOMPARE(o.status, 128 + sig);
            QVERIFY((out + o.out).count('\n') < 6);
        }
    }

    // Names that hold escape sequences, line ends or bidirectional controls
    // neither steer the terminal nor forge report lines; the controls show.
    void namesOnStandardErrorAreShownSafely() {
        const QString escapes = d(QStringLiteral("a\u001B]0;TITLE\u0007\u001B[2K\r.pdf"));
        const QString lineEnd = d(QStringLiteral("two\nlines.pdf"));
        const QString bidi = d(QStringLiteral("bidi\u202Eevil.pdf"));
        const Outcome o = run({QStringLiteral("fox"), escapes, lineEnd, bidi});
        QCOMPARE(o.status, 2);
        for (const char c : {'\x1b', '\x07', '\r'}) QVERIFY(!o.err.contains(c));
        QVERIFY(!o.err.contains("\u202E"));
        QVERIFY(o.err.contains("bidi<U+202E>evil.pdf  - "));
        // The heading, then one line a file.
        QCOMPARE(o.err.count('\n'), 4);

        // The password question names its file the same way.
        const QString asked = d(QStringLiteral("ask\u001B[2K\nme.pdf"));
        QVERIFY(QFile::copy(locked_, asked));  // only a file that needs a password is asked
        const Outcome prompt =
            run({QStringLiteral("--ask-password"), QStringLiteral("fox"), asked});
        QVERIFY2(prompt.err.contains("ask [2K me.pdf): "), prompt.err.constData());
        QVERIFY(!prompt.err.contains('\x1b'));

        // A row's path too, found in a folder.
        const QString shown = d(QStringLiteral("rows/\u2066isolated.pdf"));
        test::makeTextPdf(shown, {QStringLiteral("The quick brown fox in a folder.")});
        const Outcome rows = run({QStringLiteral("fox"), d(QStringLiteral("rows"))});
        QVERIFY2(rows.out.startsWith(d(QStringLiteral("rows/<U+2066>isolated.pdf\t")).toUtf8()),
                 (rows.out + rows.err).constData());
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliStatusTest)
#include "test_cli_status.moc"
