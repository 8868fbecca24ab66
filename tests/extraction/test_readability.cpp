// Whether an extracted text can be read, the sizes the add-time check
// compares, and finding the extractor.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/extractor.h"
#include "extraction/readability.h"
#include "support/pdfmaker.h"
#include "text/error.h"

namespace qm {

using test::writeBytes;

class ReadabilityTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString work_;
    QString d() const { return dir_.path(); }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        work_ = d() + QStringLiteral("/work");
        QDir().mkpath(work_);
    }

    void noTextPdf_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("three form feeds") << QByteArray("\f\f\f") << true;
        QTest::newRow("twelve form feeds") << QByteArray(12, '\f') << true;
        QTest::newRow("five letters and a page break") << QByteArray("abcde\f") << true;
        QTest::newRow("six letters and page breaks") << QByteArray("abcdef\f\f\f\f") << false;
        QTest::newRow("page breaks before six letters") << QByteArray("\f\f\fab\fcdef") << false;
        QTest::newRow("five letters only") << QByteArray("abcde") << false;
        QTest::newRow("six blanks") << QByteArray("      ") << false;
        QTest::newRow("tabs only") << QByteArray("\t\t\t\t\t\t\t") << true;
        QTest::newRow("line ends are not characters") << QByteArray("ab\r\ncd\n") << false;
        QTest::newRow("a lone CR is") << QByteArray("ab\rcd") << true;
        QTest::newRow("accented letters count")
            << QByteArray("\xc3\xa9\xc3\xa8\xc3\xaa\xc3\xab\xc3\xa0\xc3\xa2\f") << false;
        QTest::newRow("Latin-1 bytes read as letters")
            << QByteArray("\xe9\xe8\xea\xeb\xe0\xe2\f") << false;
        QTest::newRow("codes 127-159 do not count")
            << QByteArray(
                   "\x7f\xc2\x80\xc2\x85\xc2\x9f\xc2\x90\xc2\x91"
                   "abc")
            << true;
        QTest::newRow("Greek and Cyrillic count")
            << QByteArray("\xce\xb1\xce\xb2\xd0\x96\xd0\xb6\xe4\xb8\xad\f")
            << true;  // five printable code points
        QTest::newRow("six of them")
            << QByteArray("\xce\xb1\xce\xb2\xd0\x96\xd0\xb6\xe4\xb8\xad\xe4\xb8\xad\f") << false;
        // Long texts: the decision may lie beyond the first look at the file.
        QTest::newRow("long run of page breaks") << QByteArray(200000, '\f') << true;
        QTest::newRow("letters after a long run")
            << QByteArray(200000, '\f') + QByteArray("abcdef") << false;
        QTest::newRow("CR LF across the first look")
            << QByteArray(65535, '\f') + QByteArray("\r\nab") + QByteArray(70000, '\n') << true;
        QTest::newRow("letter split across the first look")
            << QByteArray(65535, '\n') +
                   QByteArray("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9")
            << false;
    }

    void noTextPdf() {
        QFETCH(QByteArray, text);
        QFETCH(bool, unreadable);
        const QString path = d() + QStringLiteral("/nt.txt");
        writeBytes(path, text);
        QCOMPARE(isUnreadableText(path), unreadable);
    }

    void aMissingTextFileIsAnErrorNotAnAnswer() {
        // Taken for "readable", a missing text would be searched and find nothing silently.
        QVERIFY_THROWS_EXCEPTION(Error, isUnreadableText(d() + QStringLiteral("/none.txt")));
    }

    void checkedSizes() {
        // The check compares the low 32 bits of a size, signed, as it always has.
        QCOMPARE(lowSize(12), 12);
        QCOMPARE(lowSize(0), 0);
        QCOMPARE(lowSize(-1), -1);
        QCOMPARE(lowSize((std::int64_t(1) << 32) + 5), 5);
        QCOMPARE(lowSize(std::int64_t(0xFFFFFFFF)), -1);
    }

    void extractorSetUp() {
        const QString found = findExtractor();
        QVERIFY(QFileInfo(found).isAbsolute());
        QVERIFY(QFileInfo(found).isExecutable());
        QCOMPARE(QFileInfo(found).fileName(), QStringLiteral("pdftotext"));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", d().toUtf8());
        const QString missing = findExtractor();
        qputenv("PATH", oldPath);
        QCOMPARE(missing, QString());
    }
};

}  // namespace qm

QTEST_MAIN(qm::ReadabilityTest)
#include "test_readability.moc"
