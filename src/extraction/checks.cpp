#include "extraction/checks.h"

#include <QFile>
#include <QFileInfo>
#include <optional>

#include "extraction/extractor.h"
#include "fs/fs.h"
#include "extraction/runandwait.h"
#include "extraction/textcache.h"
#include "text/textfile.h"
#include "text/display.h"
#include "text/utf8.h"
#include "filelist/filelist.h"
#include "platform/error.h"
#include "platform/settings.h"

namespace qm {

namespace {

constexpr int kReadableCount = 6;  // printable characters that make a text readable
constexpr std::int32_t kCheckMinimumSize = 10;
constexpr qint64 kFirstLook = 64 * 1024;

// Counts printable characters of valid UTF-8 text; line ends (LF, and CR just
// before LF) are not characters of any line and are passed over.
struct Tally {
    int printable = 0;
    bool nonPrintable = false;
    bool decided() const { return printable >= kReadableCount; }

    void add(std::string_view text) {
        const auto* s = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t n = text.size();
        std::size_t i = 0;
        while (i < n && !decided()) {
            const std::size_t len = s[i] < 0x80 ? 1 : utf8::validSequenceLength(s + i, n - i);
            const char32_t c = utf8::decode(s + i, len == 0 ? 1 : len);
            i += len == 0 ? 1 : len;
            if (c == u'\n') continue;
            if (c == u'\r' && i < n && s[i] == '\n') continue;
            if (text::isPrintable(c))
                ++printable;
            else
                nonPrintable = true;
        }
    }
};

// Most texts are decided by their first few characters: look at the start of
// the file first and read it whole only when that does not settle it.
bool noTextPdf(const QString& textPath) {
    QFile f(textPath);
    if (!f.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("File not found: ") + textPath);
    const QByteArray head = f.read(kFirstLook);
    const bool whole = f.atEnd();
    f.close();

    qsizetype cut = head.size();
    if (!whole) {
        // Decode only up to the last plain ASCII byte that is not a CR: no
        // multi-byte sequence and no CR LF pair is split there.
        cut = 0;
        for (qsizetype i = head.size() - 1; i >= 0; --i) {
            const auto b = static_cast<unsigned char>(head[i]);
            if (b < 0x80 && b != '\r') {
                cut = i + 1;
                break;
            }
        }
    }
    Tally tally;
    tally.add(decodeToUtf8(std::string_view(head.constData(), cut)));
    if (tally.decided()) return false;
    if (whole) return tally.nonPrintable;

    Tally full;
    for (const QString& line : readFileLines(textPath)) {
        for (char32_t c : line.toStdU32String()) {
            if (text::isPrintable(c)) {
                if (++full.printable >= kReadableCount) return false;
            } else {
                full.nonPrintable = true;
            }
        }
    }
    return full.nonPrintable;
}

std::int32_t lowSize(std::int64_t size) {
    if (size < 0) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
}

// True when the extractor ran and the file did not change meanwhile.
bool startedAndUnchanged(std::int32_t exitCode, const QString& path, const FileIdentity& before) {
    const bool startFailed = exitCode < 0 && exitCode >= kStartFailureBase;
    return !startFailed && FileIdentity::of(path) == before;
}

// Keeps what the check's extraction wrote, so that a later check or search of
// the unchanged file needs no extraction. Nothing is kept when it cannot be read.
void keepCheckOutput(TextCache& cache, const FileIdentity& file, const QString& output) {
    const QFileInfo info(output);
    if (!info.exists()) {
        cache.store(file, QString(), CachedText::forOutcome(CachedOutcome::NoTextFile, -1));
        return;
    }
    try {
        const std::int64_t size = info.size();
        if (noTextPdf(output)) {
            cache.store(file, QString(), CachedText::forOutcome(CachedOutcome::Unreadable, size));
            return;
        }
        cache.store(file, QString(), CachedText::forText(readFileChunks(output).utf8(), size));
    } catch (const Error&) {
    }
}

}  // namespace

bool NoTextPDF(const QString& textPath) {
    return noTextPdf(textPath);
}

bool NoTextPDF(const QString& textPath, MessageBoxes& boxes) {
    Procedure p(boxes, QStringLiteral("Main"), QStringLiteral("NoTextPDF"));
    bool result = false;
    p.step(100, [&] { result = noTextPdf(textPath); });
    return result;
}

std::int32_t FileSize2(const QString& path) {
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) return -1;
    const auto size = static_cast<std::uint64_t>(f.size());
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
}

void CheckByCodeNotPreviewTextbox(const CheckContext& context, const FileList& list) {
    MessageBoxes& boxes = *context.services->boxes;
    EventPump* pump = context.services->pump;
    Procedure p(boxes, QStringLiteral("Check"), QStringLiteral("CheckByCodeNotPreviewTextbox"));
    QString report;
    int count = 0;

    p.step(100, [&] {
        if (context.pointer) context.pointer->setMousePointer(MousePointer::Busy);
    });
    p.step(102, [&] { count = list.count(); });
    for (int i = 1; i <= count; ++i) {
        if (extractionsEnded()) return;
        if (i > list.count()) break;  // entries removed meanwhile are not checked
        QString path;
        QString output;
        p.step(104, [&] { path = list.text(i); });
        p.step(106, [&] { output = checkOutputPath(context.workFolder, path); });
        // A file extracted before and unchanged since is not extracted again.
        std::optional<FileIdentity> identity;
        std::shared_ptr<const CachedText> kept;
        std::int32_t exitCode = 0;
        p.step(108, [&] {
            if (context.cache) {
                identity = FileIdentity::of(path);
                if (identity) kept = context.cache->find(*identity, QString());
                if (kept && !fs::isFile(path)) kept = nullptr;  // no longer opens
            }
            if (!kept)
                exitCode = RunAndWait(context.extractorPath, checkArguments(path, output), pump,
                                      context.progress, QString(), 0, 0);
        });
        if (extractionsEnded()) return;
        p.step(110, [&] {
            const std::int32_t size = kept ? lowSize(kept->textFileSize) : FileSize2(output);
            if (size < kCheckMinimumSize) report += path + QStringLiteral("\r\n");
        });
        if (!kept && identity && startedAndUnchanged(exitCode, path, *identity))
            keepCheckOutput(*context.cache, *identity, output);
        p.step(112, [&] {
            if (pump) pump->pump();
            fs::removeQuietly(output);
        });
    }
    p.step(114, [&] {
        if (context.pointer) context.pointer->setMousePointer(MousePointer::Default);
    });
    p.step(116, [&] {
        if (!report.isEmpty()) boxes.message(checkReportText(report), applicationTitle());
    });
}

QString checkReportText(const QString& reportedPaths) {
    return QStringLiteral("These files could not be read:\r\n\r\n") + reportedPaths +
           QStringLiteral(
               "\r\nThis program will extract text from a PDF but this program will not extract "
               "text within an image within a PDF.\r\n\r\nEmail ") +
           supportEmail() + QStringLiteral(" if you have any questions.");
}

}  // namespace qm
