#include "support/scanmaker.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <stdexcept>

#include "support/pdfmaker.h"

namespace qm::test {

namespace {

constexpr double kA4Width = 595.0;
constexpr double kA4Height = 842.0;

// A PDF text string: Latin-1, with its delimiters escaped.
QByteArray pdfString(const QString& text) {
    QByteArray out = "(";
    for (char c : text.toLatin1()) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ')';
}

QByteArray number(double v) {
    return QByteArray::number(v, 'f', 2);
}

// The image as the stream of an image object: its dictionary entries and bytes.
struct ImageStream {
    QByteArray dictionary;
    QByteArray bytes;
};

ImageStream imageStream(const QImage& source, ScanKind kind) {
    const QImage grey = source.convertToFormat(QImage::Format_Grayscale8);
    const int w = grey.width();
    const int h = grey.height();
    ImageStream s;
    QByteArray raw;
    switch (kind) {
        case ScanKind::Jpeg: {
            QBuffer buffer(&s.bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!grey.save(&buffer, "JPG", 75)) throw std::runtime_error("cannot write JPEG");
            s.dictionary = "/BitsPerComponent 8 /Filter /DCTDecode";
            break;
        }
        case ScanKind::Grey:
            for (int y = 0; y < h; ++y)
                raw.append(reinterpret_cast<const char*>(grey.constScanLine(y)), w);
            s.dictionary = "/BitsPerComponent 8 /Filter /FlateDecode";
            break;
        case ScanKind::Bilevel:
            // One bit a pixel, the first pixel in the high bit; 1 is white.
            for (int y = 0; y < h; ++y) {
                const uchar* line = grey.constScanLine(y);
                for (int x = 0; x < w; x += 8) {
                    unsigned char b = 0;
                    for (int k = 0; k < 8; ++k)
                        if (x + k >= w || line[x + k] >= 128)
                            b |= static_cast<unsigned char>(0x80 >> k);
                    raw.append(static_cast<char>(b));
                }
            }
            s.dictionary = "/BitsPerComponent 1 /Filter /FlateDecode";
            break;
    }
    if (kind != ScanKind::Jpeg) s.bytes = qCompress(raw, 6).mid(4);  // the zlib stream
    s.dictionary = "/Type /XObject /Subtype /Image /Width " + QByteArray::number(w) + " /Height " +
                   QByteArray::number(h) + " /ColorSpace /DeviceGray " + s.dictionary;
    return s;
}

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

void writeMadePdf(const QString& path, const std::vector<MadePage>& pages, ScanKind kind) {
    QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<qsizetype> offsets;  // of objects 1, 2, ...
    const auto object = [&](const QByteArray& body) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    const auto stream = [&](const QByteArray& dictionary, const QByteArray& bytes) {
        object("<< " + dictionary + " /Length " + QByteArray::number(bytes.size()) +
               " >>\nstream\n" + bytes + "\nendstream");
    };
    // 1: catalog, 2: page tree, 3: font; then per page: page, contents, image.
    const int n = static_cast<int>(pages.size());
    QByteArray kids;
    int next = 4;
    std::vector<int> pageObjects;
    for (const MadePage& p : pages) {
        pageObjects.push_back(next);
        kids += QByteArray::number(next) + " 0 R ";
        next += p.image.isNull() ? 2 : 3;
    }
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (int i = 0; i < n; ++i) {
        const MadePage& p = pages[static_cast<std::size_t>(i)];
        const QByteArray self = QByteArray::number(pageObjects[static_cast<std::size_t>(i)]);
        const QByteArray contents =
            QByteArray::number(pageObjects[static_cast<std::size_t>(i)] + 1);
        if (p.image.isNull()) {
            object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(kA4Width) + ' ' +
                   number(kA4Height) + "] /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                   contents + " 0 R >>");
            QByteArray text = "BT /F1 12 Tf 15 TL 72 770 Td\n";
            for (const QString& line : p.text.split(u'\n')) text += pdfString(line) + " Tj T*\n";
            stream({}, text + "ET");
            continue;
        }
        const double w = p.image.width() * 72.0 / p.dpi;
        const double h = p.image.height() * 72.0 / p.dpi;
        const double pageW = w / p.cover, pageH = h / p.cover;
        const QByteArray image = QByteArray::number(pageObjects[static_cast<std::size_t>(i)] + 2);
        const QByteArray rotate =
            p.rotate != 0 ? " /Rotate " + QByteArray::number(p.rotate) : QByteArray();
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(pageW) + ' ' +
               number(pageH) + "]" + rotate + " /Resources << /XObject << /Im0 " + image +
               " 0 R >> /Font << /F1 3 0 R >> >> /Contents " + contents + " 0 R >>");
        (void)self;
        // The text, if any, as a stamp in the page's top left corner.
        const QByteArray stamp = p.text.isEmpty() ? QByteArray()
                                                  : " BT /F1 9 Tf 12 " + number(pageH - 12) +
                                                        " Td " + pdfString(p.text) + " Tj ET";
        stream({}, "q " + number(w) + " 0 0 " + number(h) + " 0 0 cm /Im0 Do Q" + stamp);
        const ImageStream s = imageStream(p.image, kind);
        stream(s.dictionary, s.bytes);
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype o : offsets)
        pdf += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    writeBytes(path, pdf);
}

QImage renderPage(const QString& pdf, int page, int dpi) {
    QTemporaryDir dir;
    const QString prefix = dir.path() + QStringLiteral("/page");
    const QString p = QString::number(page);
    if (runTool(QStringLiteral("pdftoppm"),
                {QStringLiteral("-gray"), QStringLiteral("-r"), QString::number(dpi),
                 QStringLiteral("-f"), p, QStringLiteral("-l"), p, QStringLiteral("-singlefile"),
                 pdf, prefix})
            .isNull() &&
        !QFileInfo::exists(prefix + QStringLiteral(".pgm")))
        return {};
    return QImage(prefix + QStringLiteral(".pgm"));
}

int pdfPageCount(const QString& pdf) {
    for (const QString& line : runTool(QStringLiteral("pdfinfo"), {pdf}).split(u'\n'))
        if (line.startsWith(QLatin1String("Pages:"))) return line.mid(6).trimmed().toInt();
    return 0;
}

void makeScannedPdf(const QString& path, const QStringList& pages, int dpi, ScanKind kind,
                    const QList<int>& textPages) {
    QTemporaryDir dir;
    const QString typed = dir.path() + QStringLiteral("/typed.pdf");
    std::vector<MadePage> text;
    for (const QString& t : pages) text.push_back({QImage(), dpi, t});
    writeMadePdf(typed, text, kind);
    std::vector<MadePage> made;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (textPages.contains(static_cast<int>(i))) {
            made.push_back({QImage(), dpi, pages[i]});
            continue;
        }
        QImage image = renderPage(typed, static_cast<int>(i) + 1, dpi);
        if (image.isNull()) throw std::runtime_error("pdftoppm failed for " + path.toStdString());
        made.push_back({image, dpi, {}});
    }
    writeMadePdf(path, made, kind);
}

bool scanPdf(const QString& source, const QString& destination, int dpi, ScanKind kind,
             int maxPages) {
    int count = pdfPageCount(source);
    if (maxPages > 0) count = std::min(count, maxPages);
    std::vector<MadePage> made;
    for (int page = 1; page <= count; ++page) {
        QImage image = renderPage(source, page, dpi);
        if (image.isNull()) return false;
        made.push_back({image, dpi, {}});
    }
    if (made.empty()) return false;
    writeMadePdf(destination, made, kind);
    return true;
}

QString writeFakeTesseract(const QString& folder, const FakeTesseract& fake) {
    QString body = QStringLiteral(
                       "case \"$1\" in\n"
                       "  --version) echo 'tesseract %1'; echo ' leptonica-1.82.0'; exit 0 ;;\n"
                       "  --list-langs) echo 'List of available languages in \"/fake/\" (%2):'\n"
                       "    for l in %3 osd; do echo \"$l\"; done; exit 0 ;;\n"
                       "esac\n"
                       "page=$(basename \"$1\" .pgm); page=${page#page}\n")
                       .arg(fake.version)
                       .arg(fake.languages.size() + 1)
                       .arg(fake.languages.join(u' '));
    if (!fake.logPath.isEmpty())
        body += QStringLiteral("echo \"$* OMP_THREAD_LIMIT=$OMP_THREAD_LIMIT\" >> '%1'\n")
                    .arg(fake.logPath);
    if (!fake.imageCopies.isEmpty())
        body += QStringLiteral("cp \"$1\" '%1/'\n").arg(fake.imageCopies);
    if (fake.sleepSeconds > 0) body += QStringLiteral("sleep %1\n").arg(fake.sleepSeconds);
    if (fake.crash) body += QStringLiteral("kill -SEGV $$\n");
    // The text's words as tesseract's tsv gives them: all on one line.
    body +=
        QStringLiteral(
            "printf 'level\\tpage_num\\tblock_num\\tpar_num\\tline_num\\tword_num\\tleft\\t"
            "top\\twidth\\theight\\tconf\\ttext\\n'\n"
            "n=0; for w in %1; do n=$((n+1))\n"
            "  printf '5\\t1\\t1\\t1\\t1\\t%s\\t0\\t0\\t9\\t9\\t%s\\t%s\\n' $n %2 \"$w\"; done\n")
            .arg(fake.text)
            .arg(fake.confidence);
    if (fake.exitCode != 0) body += QStringLiteral("exit %1\n").arg(fake.exitCode);
    return writeScript(folder, QStringLiteral("tesseract"), body);
}

QStringList fakeTesseractLog(const QString& logPath) {
    QFile f(logPath);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

}  // namespace qm::test
