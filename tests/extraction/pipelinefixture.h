#pragma once
// What the pipeline's tests share: a temporary folder, pipelines with one
// worker in it, and small shell scripts standing in for the extractor.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "extraction/pipeline.h"
#include "support/pdfmaker.h"

namespace qm::test {

class PipelineFixture {
  protected:
    QTemporaryDir dir_;
    QString d() const { return dir_.path(); }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // A pipeline with one worker in a work folder of its own.
    std::unique_ptr<TextPipeline> pipeline(const QString& extractor, EventPump* pump,
                                           int pollMilliseconds) {
        TextPipeline::Setup s;
        s.extractorPath = extractor;
        s.workFolder = d() + QStringLiteral("/work");
        QDir().mkpath(s.workFolder);
        s.pump = pump;
        s.jobs = 1;
        s.pollMilliseconds = pollMilliseconds;
        return std::make_unique<TextPipeline>(std::move(s));
    }
    // An extractor that writes `text` beside its input after `seconds`.
    QString textAfter(const QString& name, const QString& seconds, const QString& text) {
        return writeScript(d(), name,
                           QStringLiteral("sleep %1\nfor a; do :; done\n"
                                          "printf '%2' > \"${a%.pdf}.txt\"")
                               .arg(seconds, text));
    }
    QString anyPdf() {
        const QString pdf = d() + QStringLiteral("/in.pdf");
        if (!QFile::exists(pdf)) writeBytes(pdf, "%PDF-1.4 stand-in");
        return pdf;
    }
};

}  // namespace qm::test
