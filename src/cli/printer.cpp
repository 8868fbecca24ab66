#include "cli/printer.h"

#include <unistd.h>
#include <cerrno>

#include <cstdio>

#include "cli/console.h"
#include "extraction/othertexts.h"
#include "text/display.h"
#include "text/names.h"

namespace qm::cli {

Output::Output() : held_(::isatty(STDOUT_FILENO) == 0) {}

void Output::failed() {
    broken_ = true;
    pipeClosed_ = errno == EPIPE;
}

void Output::write(const QByteArray& bytes) {
    if (broken_ || bytes.isEmpty()) return;
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
        static_cast<size_t>(bytes.size()))
        return failed();
    if (!held_) flush();
}

void Output::flush() {
    if (!broken_ && std::fflush(stdout) != 0) failed();
}

Printer::Printer(const PrinterSetup& setup)
    : options_(setup.options),
      terminal_(setup.terminal),
      out_(setup.out),
      quiet_(setup.quiet),
      keep_(!setup.options.tsvPath.isEmpty()) {}

void Printer::beginFile(const QString&) {
    rows_ = 0;
}

bool Printer::wantsMore() const {
    // -m: the rest of the file is left out everywhere.
    if (options_.maxCount > 0 && rows_ >= static_cast<std::size_t>(options_.maxCount)) return false;
    // -q: one row answers the question.
    if (options_.quiet) return false;
    // The text file takes every row.
    return keep_ || !(oneRowIsEnough() && rows_ > 0);
}

bool Printer::mayStopEarly() const {
    return options_.maxCount > 0 || (oneRowIsEnough() && !keep_);
}

SinkAnswer Printer::occurrence(const Hit& hit) {
    if (options_.maxCount > 0 && rows_ >= static_cast<std::size_t>(options_.maxCount))
        return SinkAnswer::Enough;
    ++rows_;
    anyRow_ = true;
    if (!quiet_) row(hit);
    if (keep_)
        kept_.push_back({hit.other ? pathWithin(hit.path, hit.other->attachment) : hit.path,
                         hit.snippet.toString()});
    return wantsMore() ? SinkAnswer::More : SinkAnswer::Enough;
}

void Printer::endFile(const QString& path, std::size_t) {
    if (quiet_) return;
    fileDone(path, rows_);
    if (!pending_.isEmpty()) {
        terminal_.clear();
        out_.write(pending_);
        pending_.clear();
    }
}

void Printer::appendPath(const QString& path, char after) {
    if (options_.nullAfterPath) {
        pending_ += text::encodeName(path);
        pending_ += '\0';
    } else {
        pending_ += text::displayBytes(path);
        pending_ += after;
    }
}

void appendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendJsonPath(QByteArray& out, const QString& path) {
    out += "\"path\":";
    appendJsonString(out, path);
    if (!text::holdsRawBytes(path)) return;
    out += ",\"path_bytes\":\"";
    out += text::encodeName(path).toBase64();
    out += '"';
}

std::unique_ptr<Printer> makePrinter(const PrinterSetup& setup) {
    if (setup.options.json) return makeJsonPrinter(setup);
    switch (setup.options.output) {
        case OutputMode::Count:
            return makeCountPrinter(setup);
        case OutputMode::FilesWithMatches:
            return makeFilePrinter(setup);
        case OutputMode::Rows:
            break;
    }
    return makeRowPrinter(setup);
}

}  // namespace qm::cli
