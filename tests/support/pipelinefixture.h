#pragma once
// What the pipeline's tests share: a temporary folder, pipelines with one
// worker in it, and small shell scripts standing in for the extractor.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "extraction/pipeline.h"
#include "support/obtain.h"
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

    // `jobs` workers in the work folder `folder` (below the temporary folder).
    TextPipeline::Setup setup(const QString& extractor, const QString& folder, int jobs) {
        TextPipeline::Setup s;
        s.extractorPath = extractor;
        s.workFolder = d() + u'/' + folder;
        QDir().mkpath(s.workFolder);
        s.jobs = jobs;
        return s;
    }
    // A pipeline with one worker in a work folder of its own.
    std::unique_ptr<TextPipeline> pipeline(const QString& extractor) {
        return std::make_unique<TextPipeline>(setup(extractor, QStringLiteral("work"), 1));
    }
    // A run over `paths`, file i at paths[i - 1].
    static RunPlan planOf(const QStringList& paths) {
        RunPlan plan;
        plan.files = paths;
        return plan;
    }
    // An extractor that prints `text` after `seconds`.
    QString textAfter(const QString& name, const QString& seconds, const QString& text) {
        return writeScript(d(), name, QStringLiteral("sleep %1\nprintf '%2'").arg(seconds, text));
    }
    QString anyPdf() {
        const QString pdf = d() + QStringLiteral("/in.pdf");
        if (!QFile::exists(pdf)) writeBytes(pdf, "%PDF-1.4 stand-in");
        return pdf;
    }
};

}  // namespace qm::test
