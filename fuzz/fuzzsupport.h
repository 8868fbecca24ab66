#pragma once
// Helpers shared by the fuzz targets: a scratch folder of the process's own
// and a check that stops the run with a message (libFuzzer keeps the input).

#include <unistd.h>
#include <QByteArray>
#include <QDir>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/sink.h"
#include "text/textfile.h"

namespace qm::fuzz {

// A folder made once per process under TMPDIR (or /tmp), removed at exit.
inline const QString& scratchFolder() {
    static const QString folder = [] {
        QByteArray base = qgetenv("TMPDIR");
        if (base.isEmpty()) base = "/tmp";
        std::string templ = base.toStdString() + "/qm-fuzz-XXXXXX";
        if (!::mkdtemp(templ.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static const std::string made = templ;
        std::atexit([] { QDir(QString::fromStdString(made)).removeRecursively(); });
        return QString::fromStdString(templ);
    }();
    return folder;
}

// Writes `bytes` to the file `name` of the scratch folder; returns its path.
inline QString writeScratch(const char* name, const std::uint8_t* data, std::size_t size) {
    const QString path = scratchFolder() + u'/' + QLatin1StringView(name);
    std::FILE* f = std::fopen(path.toLocal8Bit().constData(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror("scratch file");
        std::abort();
    }
    return path;
}

// Stops the run when a property that must hold for every input does not.
inline void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// A hit and its snippet lie inside the chunk they name.
inline void requireInsideChunk(const Hit& hit, const TextChunks& text) {
    require(hit.chunk < text.count(), "hit in an existing chunk");
    const std::string_view chunk = text.chunk(hit.chunk);
    require(hit.offset < chunk.size(), "hit inside its chunk");
    const std::string_view snip = hit.snippet.text;
    // An occurrence that runs on into the next chunk has its snippet run on with it.
    const bool across = hit.offset + hit.length > chunk.size() && hit.chunk + 1 < text.count();
    const std::string_view end = across ? text.chunk(hit.chunk + 1) : chunk;
    if (across)
        require(snip.data() >= chunk.data() && snip.data() + snip.size() <= end.data() + end.size(),
                "snippet inside its chunk and the next");
    else
        require(
            snip.data() >= chunk.data() && snip.data() + snip.size() <= chunk.data() + chunk.size(),
            "snippet inside its chunk");
}

}  // namespace qm::fuzz
