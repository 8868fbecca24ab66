// Writes that fail for want of room. A file size limit stands in for a full
// work folder: with its signal ignored, a write past it fails while every
// process goes on and exits 0, as pdftotext does on a full disk. A text or a
// decrypted copy that could not be written whole is reported as not copied
// and never kept; with room again the whole text comes. The real pdftotext
// and qpdf do the work.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "extraction/pagesplit.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "support/filesizelimit.h"
#include "support/obtain.h"
#include "support/pdfmaker.h"
#include "support/scanmaker.h"

namespace qm {

namespace {

qint64 sizeOf(const QString& path) {
    return QFileInfo(path).size();
}

}  // namespace

class FullWorkFolderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }

  private Q_SLOTS:
    void aTextOrCopyCutShortIsNeverTakenNorKept() {
        if (findExtractor().isEmpty() || findQpdf().isEmpty())
            QSKIP("pdftotext and qpdf are needed");
        // Pages of one line over and over: a text far larger than its PDF.
        const QString line = QStringLiteral("A quince, a quince, a quince and a quince.\n");
        const QStringList pages(30, line.repeated(50));
        const QString plain = d(QStringLiteral("long.pdf"));
        test::makeTextPdf(plain, pages);
        const QString locked = d(QStringLiteral("locked.pdf"));
        QVERIFY(test::encryptPdf(plain, locked, QStringLiteral("pw"), QStringLiteral("pw")));
        const QByteArray whole = test::extractWithPdftotext(plain);
        // A qpdf whose decrypted copy is larger than the locked file: its
        // streams uncompressed.
        const QString widening = test::writeScript(
            dir_.path(), QStringLiteral("qpdf-wide"),
            QStringLiteral("exec '%1' --stream-data=uncompress \"$@\"").arg(findQpdf()));
        const auto decrypt = [&](const QString& out, const QStringList& more) {
            return QProcess::execute(findQpdf(), QStringList{QStringLiteral("--password=pw"),
                                                             QStringLiteral("--decrypt")} +
                                                     more + QStringList{locked, out});
        };
        const QString open = d(QStringLiteral("open.pdf")), wide = d(QStringLiteral("wide.pdf"));
        QCOMPARE(decrypt(open, {}), 0);
        QCOMPARE(decrypt(wide, {QStringLiteral("--stream-data=uncompress")}), 0);

        const struct {
            const char* name;
            QString path;
            QString password;
            QString qpdf;
            bool ranges;
            qint64 limit;  // the copy of the file fits, the text (or decrypted copy) does not
        } cases[] = {
            {"one run", plain, {}, {}, false, (sizeOf(plain) + whole.size()) / 2},
            // The page count of a split comes from qpdf.
            {"page ranges", plain, {}, findQpdf(), true, (sizeOf(plain) + whole.size()) / 2},
            {"the text of a decrypted copy", locked, QStringLiteral("pw"), findQpdf(), false,
             (std::max(sizeOf(locked), sizeOf(open)) + whole.size()) / 2},
            {"a decrypted copy", locked, QStringLiteral("pw"), widening, false,
             (sizeOf(locked) + sizeOf(wide)) / 2},
        };
        for (const auto& c : cases) {
            QVERIFY2(sizeOf(c.path) < c.limit, c.name);
            QVERIFY2(c.limit < (c.qpdf == widening ? sizeOf(wide) : whole.size()), c.name);
            const QString tag = QString::fromLatin1(c.name).replace(u' ', u'-');
            const QString store = d(tag + QStringLiteral("-store"));
            DiskTextCache disk(store, QStringLiteral("salt"));
            TextCache cache;
            cache.attachDisk(&disk);
            TextPipeline::Setup s;
            s.extractorPath = findExtractor();
            s.qpdfPath = c.qpdf;
            s.workFolder = d(tag + QStringLiteral("-work"));
            QDir().mkpath(s.workFolder);
            s.jobs = c.ranges ? 2 : 1;
            s.splitMinBytes = c.ranges ? 0 : -1;
            s.splitMinPages = 2;
            s.cache = &cache;
            TextPipeline p(std::move(s));
            FileRequest request;
            request.path = c.path;
            if (!c.password.isEmpty()) request.password = c.password;

            FileText cut;
            {
                const test::FileSizeLimit limit(c.limit);
                cut = test::obtainText(p, request);
            }
            QVERIFY2(cut.outcome == TextOutcome::CopyFailed, c.name);
            QVERIFY2(cache.entryCount() == 0, c.name);
            QVERIFY2(QDir(store).entryList(QDir::Files).isEmpty(), c.name);

            const FileText text = test::obtainText(p, request);
            QVERIFY2(text.outcome == TextOutcome::Text, c.name);
            QVERIFY2(QByteArray::fromStdString(text.chunks.utf8()) == whole, c.name);
        }
    }

    // A scanned page's image (about 3.7 MB at 200 dpi) cut short by a full
    // disk is never read: the file is not copied for want of room.
    void aScannedPageCutShortIsNeverRead() {
        if (findExtractor().isEmpty() || findPdftoppm().isEmpty() || findPdfimages().isEmpty())
            QSKIP("poppler-utils is needed");
        const QString scanned = d(QStringLiteral("scanned.pdf"));
        test::makeScannedPdf(scanned, {"a sheet"}, 200);
        TextCache cache;
        TextPipeline::Setup s;
        s.extractorPath = findExtractor();
        s.workFolder = d(QStringLiteral("ocr-work"));
        QDir().mkpath(s.workFolder);
        s.jobs = 1;
        s.cache = &cache;
        s.ocr.tesseract = test::writeFakeTesseract(d(QStringLiteral("bin")), {});
        s.ocr.pdftoppm = findPdftoppm();
        s.ocr.pdfimages = findPdfimages();
        TextPipeline p(std::move(s));
        FileRequest request;
        request.path = scanned;
        FileText cut;
        {
            const test::FileSizeLimit limit(1 << 20);
            cut = test::obtainText(p, request);
        }
        QCOMPARE(cut.outcome, TextOutcome::CopyFailed);
        QCOMPARE(cache.entryCount(), std::size_t(0));
        const FileText text = test::obtainText(p, request);
        QCOMPARE(text.outcome, TextOutcome::Text);
        QVERIFY(text.chunks.utf8().find("scanned words of page 1") != std::string::npos);
    }
};

}  // namespace qm

QTEST_MAIN(qm::FullWorkFolderTest)
#include "test_fullworkfolder.moc"
