// The add-time check: after every addition to the file list, every listed file
// is extracted (texts kept from before cost nothing) and the files whose text
// is shorter than 10 bytes are reported in one message.
#include "app/errorreport.h"
#include "app/form1.h"
#include "app/waitbar.h"
#include "extraction/pipeline.h"
#include "extraction/readability.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/run.h"
#include "words/words.h"

namespace qm {

QString checkReportText(const QString& reportedPaths) {
    return QStringLiteral("These files could not be read:\r\n\r\n") + reportedPaths +
           QStringLiteral(
               "\r\nThis program will extract text from a PDF but this program will not extract "
               "text within an image within a PDF.\r\n\r\nEmail ") +
           supportEmail() + QStringLiteral(" if you have any questions.");
}

void Form1::runAddTimeCheck() {
    MessageBoxes& boxes = *services_.boxes;
    Procedure p(boxes, QStringLiteral("Check"), QStringLiteral("CheckByCodeNotPreviewTextbox"));
    QString report;
    int count = 0;
    // Without a work folder nothing can be extracted; start-up said why.
    if (workFolder().isEmpty()) return;

    p.step(100, [&] { setMousePointer(MousePointer::Busy); });
    p.step(102, [&] { count = fileList.count(); });
    // The files are extracted on every core, ahead of the one the check is at;
    // the report keeps the list's order.
    TextPipeline& texts = checkPipeline();
    RunPlan plan;
    plan.count = count;
    plan.pathAt = [this](int i) {
        return i >= 1 && i <= fileList.count() ? fileList.text(i) : QString();
    };
    const TextPipeline::RunScope scope(texts, plan);

    for (int i = 1; i <= count; ++i) {
        if (extractionsEnded()) return;
        if (i > fileList.count()) break;  // entries removed meanwhile are not checked
        QString path;
        p.step(104, [&] { path = fileList.text(i); });
        p.step(106, [&] {
            setValue(progressValue(i - 1, count));
            setText(QStringLiteral("Checking: ") + fs::fileName(path) + QStringLiteral(" (") +
                    QString::number(i) + QStringLiteral(" of ") + QString::number(count) + u')');
        });
        FileText text;
        p.step(108, [&] {
            FileRequest request;
            request.index = i;
            request.path = path;
            request.wait = WaitBar{&progressBar(), this->text(), value(), count}.watch();
            text = texts.obtain(request);
        });
        if (extractionsEnded() || text.outcome == TextOutcome::Ended) return;
        p.step(110, [&] {
            if (lowSize(text.textFileSize) < kCheckMinimumSize) {
                report += path;
                // A file without text for a reason the check alone would not
                // explain (protected, damaged, failed, ended) says why; without
                // an extractor (start-up said so) every file is listed bare.
                const TextOutcome o = text.outcome;
                const bool noExtractor = ExtractorPath.isEmpty();
                if (isFailure(o) && o != TextOutcome::Unreadable && o != TextOutcome::NotCopied &&
                    !(o == TextOutcome::Protected && noExtractor))
                    report += failureSuffix(o);
                report += QStringLiteral("\r\n");
            }
        });
        p.step(112, [&] {
            if (services_.pump) services_.pump->pump();
        });
    }
    p.step(114, [&] {
        setMousePointer(MousePointer::Default);
        setValue(0);
        setText(QStringLiteral("Progress Bar"));
    });
    p.step(116, [&] {
        if (!report.isEmpty()) boxes.message(checkReportText(report), applicationTitle());
    });
}

}  // namespace qm
