#pragma once
// One file's work in a TextPipeline: queued by the caller's thread, done by a
// worker, handed back by collect(). Seen only by the pipeline's own files.

#include <QString>
#include <cstdint>

#include "extraction/child.h"
#include "extraction/pipeline.h"

namespace qm {

struct TextPipeline::Job {
    TextPipeline* owner = nullptr;
    std::int64_t held = 0;  // bytes of `text` counted against the memory budget
    ~Job() { release(); }
    void release() {
        if (held > 0) owner->released(held);
        held = 0;
    }
    int index = 0;
    QString path;
    QString password;
    bool keptOnDemand = false;  // a text from the cache is handed over as its entry
    ChildToken token;
    bool done = false;  // guarded by the pipeline's mutex_
    FileText text;
    OcrProgress ocr;    // the file's scanned pages being read
    QString readError;  // the text could not be read: thrown to the caller
};

}  // namespace qm
