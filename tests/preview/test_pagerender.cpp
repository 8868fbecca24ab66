// A page made ready to be shown: rendered, its words read, kept for a while.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "preview/hitmap.h"
#include "preview/pagecache.h"
#include "preview/pagerender.h"
#include "preview/pagesource.h"
#include "support/pdfmaker.h"

namespace qm {

class PageRenderTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString d() const { return dir_.path(); }

    // A stand-in for `program` that logs its command line and standard input
    // size, then runs the real one with the same input.
    QString logged(const QString& program, const QString& log) {
        return test::writeScript(
            d(), QFileInfo(program).fileName(),
            QStringLiteral("echo \"$0 $*\" >> '%1'\nexec '%2' \"$@\"").arg(log, program));
    }

  private Q_SLOTS:
    // Catches a password handed to a child on its command line (every local
    // user can read those), and a protected page not rendered from the
    // decrypted copy (it would fail to open).
    void protectedPageKeepsThePasswordOffCommandLines() {
        const QString plain = d() + QStringLiteral("/plain.pdf");
        const QString locked = d() + QStringLiteral("/locked.pdf");
        test::makeTextPdf(plain, {QStringLiteral("first page"), QStringLiteral("secret ledger")});
        QVERIFY(test::encryptPdf(plain, locked, QStringLiteral("Zebra-7731"), QStringLiteral("o")));
        const QString log = d() + QStringLiteral("/log");
        PageTools tools{logged(findPdftoppm(), log), logged(findExtractor(), log),
                        logged(findQpdf(), log)};
        ChildToken token;
        const PageImage image = loadPage({locked, 2, 400, QStringLiteral("Zebra-7731")}, tools,
                                         d() + QStringLiteral("/work"), token);
        QCOMPARE(image.outcome, PageOutcome::Shown);
        QCOMPARE(
            findOnPage(image.words, QStringLiteral("ledger"), CaseMode::MatchCase, false).size(),
            std::size_t(1));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray lines = f.readAll();
        QCOMPARE(lines.count('\n'), 3);  // qpdf, pdftotext, pdftoppm
        QVERIFY(!lines.contains("Zebra"));
        // Nothing of the decrypted copy is left behind.
        QVERIFY(QDir(d() + QStringLiteral("/work")).isEmpty());
    }

    // Catches a page no longer wanted that is still shown when it comes, or
    // whose render runs on after the selection moved.
    void newerPageEndsTheOneBefore() {
        const QString pdf = d() + QStringLiteral("/two.pdf");
        test::makeTextPdf(pdf, {QStringLiteral("one"), QStringLiteral("two")});
        // Page 1 takes forever; page 2 is rendered.
        const QString slow = test::writeScript(
            d(), QStringLiteral("slowppm"),
            QStringLiteral("[ \"$2\" = 1 ] && { sleep 60; exit 0; }\nexec '%1' \"$@\"")
                .arg(findPdftoppm()));
        PageSource source({{slow, findExtractor(), {}}, d() + QStringLiteral("/source")});
        QSignalSpy ready(&source, &PageSource::ready);
        source.request({pdf, 1, 200, {}});
        QTRY_COMPARE(runningChildren(), 1);
        const quint64 second = source.request({pdf, 2, 200, {}});
        QVERIFY(ready.wait(20000));
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready[0][0].value<quint64>(), second);
        QVERIFY(ready[0][1].value<std::shared_ptr<const PageImage>>()->shown());
        QTRY_COMPARE(source.running(), 0);
        QCOMPARE(ready.size(), 1);
    }

    // Catches a cache that outgrows its bounds in pages or in bytes, drops the
    // page used last instead of the one used longest ago, or keeps a failure.
    void cacheStaysWithinItsBounds() {
        auto page = [](qint64 bytes, PageOutcome outcome = PageOutcome::Shown) {
            auto p = std::make_shared<PageImage>();
            p->outcome = outcome;
            p->png = QByteArray(bytes, 'x');
            return p;
        };
        auto key = [](int n) { return PageKey{QStringLiteral("a.pdf"), {}, n, 800, false}; };
        PageCache cache(3, 1000);
        for (int n = 1; n <= 3; ++n) cache.store(key(n), page(300));
        QVERIFY(cache.find(key(1)));  // now the most recent
        cache.store(key(4), page(300));
        QCOMPARE(cache.pages(), 3);
        QVERIFY(cache.find(key(1)) && !cache.find(key(2)));
        cache.store(key(5), page(700));  // over the byte bound: 3, then 4 go
        QCOMPARE(cache.bytes(), 1000);
        QVERIFY(cache.find(key(5)) && cache.find(key(1)) && !cache.find(key(4)));
        cache.store(key(6), page(5000));
        cache.store(key(7), page(10, PageOutcome::RenderFailed));
        QVERIFY(!cache.find(key(6)) && !cache.find(key(7)));
        QVERIFY(cache.pages() <= 3 && cache.bytes() <= 1000);
    }
};

}  // namespace qm

QTEST_MAIN(qm::PageRenderTest)
#include "test_pagerender.moc"
