#pragma once
// A file's text from a pipeline, waited for in an event loop of the test's
// own: what a session does for one file, without its polls.

#include <QEventLoop>
#include <functional>

#include "extraction/pipeline.h"
#include "text/error.h"

namespace qm::test {

// The text of `request.path` (for `run` at `request.index`, or outside any
// run); a text that could not be read is thrown as qm::Error, as a session
// reports it.
inline FileText obtainText(TextPipeline& texts, const FileRequest& request,
                           TextPipeline::Run* run = nullptr) {
    FileText out;
    QString error;
    bool arrived = false;
    QEventLoop loop;
    TextPipeline::Ticket ticket =
        texts.fetch(run, request, [&](const FileText& text, const QString& readError) {
            out = text;
            error = readError;
            arrived = true;
            loop.quit();
        });
    if (!arrived) loop.exec();
    if (!error.isEmpty()) throw Error(error);
    return out;
}

}  // namespace qm::test
