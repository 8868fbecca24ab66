#include "search/searchrun.h"

#include <cmath>

#include "extraction/runandwait.h"
#include "filelist/filelist.h"
#include "fs/fs.h"
#include "platform/error.h"
#include "platform/settings.h"
#include "results/resultslist.h"
#include "search/matcher.h"
#include "search/textsource.h"

namespace qm {

namespace {
QString str(const char* s) {
    return QString::fromLatin1(s);
}

// Trims blanks only (not tabs or line ends).
QString trimBlanks(const QString& s) {
    qsizetype a = 0;
    qsizetype b = s.size();
    while (a < b && s[a] == u' ') ++a;
    while (b > a && s[b - 1] == u' ') --b;
    return s.mid(a, b - a);
}
}  // namespace

SearchRun::SearchRun(SearchHost& host, std::shared_ptr<TextSource> source)
    : host_(host), source_(std::move(source)) {}

SearchRun::~SearchRun() = default;

QString SearchRun::passwordPrompt(const QString& path) {
    return QStringLiteral("Enter password for file (") + path + QStringLiteral("): \r\n") +
           QStringLiteral("Note: Leave this box blank if file is not password protected");
}

int SearchRun::progressValue(int i, int n) {
    if (n <= 0) return 0;
    return static_cast<int>(std::floor(static_cast<double>(i) / n * 100.0));
}

void SearchRun::click() {
    Procedure p(*host_.services().boxes, QStringLiteral("Form1"),
                QStringLiteral("PushButton7_Click"));
    bool stopClick = false;
    p.step(100, [&] { host_.stopRequested() = false; });
    p.step(102, [&] { stopClick = host_.caption() == str(kStopCaption); });
    if (stopClick) {
        p.step(104, [&] {
            host_.stopRequested() = true;
            if (active_) abandoned_ = true;
            restartPending_ = false;
        });
        p.step(106, [&] { host_.pointer().setMousePointer(MousePointer::Default); });
        p.step(108, [&] {
            host_.progress().setValue(0);
            host_.progress().setText(QStringLiteral("Progress Bar"));
        });
        p.step(110, [&] { host_.setCaption(str(kStartCaption)); });
        return;
    }
    start();
}

bool SearchRun::inputAccepted() {
    Procedure p(*host_.services().boxes, QStringLiteral("Form1"),
                QStringLiteral("PushButton7_Click"));
    bool ok = true;
    p.step(112, [&] {
        const SearchOptions o = host_.currentOptions();
        if (o.mode == SearchMode::Single && trimBlanks(o.singlePhrase).isEmpty()) {
            ok = false;
            host_.services().boxes->message(QStringLiteral("You forgot to input search text"),
                                            applicationTitle());
            host_.setCaption(str(kStartCaption));
        }
    });
    if (!ok) return false;
    p.step(114, [&] {
        if (host_.files().count() == 0) {
            ok = false;
            host_.services().boxes->message(QStringLiteral("No files added."), applicationTitle());
            host_.setCaption(str(kStartCaption));
        }
    });
    return ok;
}

void SearchRun::start() {
    if (!inputAccepted()) return;
    if (active_) {
        // A run that was asked to stop is still finishing its current file:
        // the new run begins as soon as it has, and shows itself running now.
        restartPending_ = true;
        host_.setCaption(str(kStopCaption));
        return;
    }
    active_ = true;
    do {
        restartPending_ = false;
        abandoned_ = false;
        runFiles();
    } while (restartPending_ && !extractionsEnded());
    active_ = false;
}

TextSource& SearchRun::source() {
    if (source_ && !ownSource_) return *source_;
    ExtractingTextSource::Setup setup;
    setup.extractorPath = host_.extractorPath();
    setup.workFolder = host_.workFolder();
    setup.pump = host_.services().pump;
    setup.boxes = host_.services().boxes;
    source_ = std::make_shared<ExtractingTextSource>(std::move(setup));
    ownSource_ = true;
    return *source_;
}

void SearchRun::runFiles() {
    Services& services = host_.services();
    Procedure p(*services.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
    ProgressBar& bar = host_.progress();
    QString unreadable;
    int n = 0;
    failures_.clear();
    auto fail = [&](const QString& path, const char* suffix) {
        unreadable += QStringLiteral("\r\n") + path + str(suffix);
        failures_.push_back({path, str(suffix)});
    };

    p.step(116, [&] { host_.setCaption(str(kStopCaption)); });
    p.step(118, [&] { host_.results().clear(); });
    p.step(120, [&] { n = host_.files().count(); });
    TextSource& texts = source();
    RunPlan plan;
    plan.count = n;
    plan.pathAt = [this](int i) {
        return i >= 1 && i <= host_.files().count() ? host_.files().text(i) : QString();
    };
    plan.mayWorkAhead = [this] {
        return !host_.stopRequested() && !abandoned_ && !host_.currentOptions().promptForPassword;
    };
    texts.beginRun(plan);
    // Work begun ahead for later files ends with the run, however it ends.
    struct RunEnd {
        TextSource& texts;
        ~RunEnd() { texts.endRun(); }
    } runEnd{texts};

    for (int i = 1; i <= n; ++i) {
        // Entries removed during the run are not searched.
        if (i > host_.files().count()) break;
        QString path;
        p.step(122, [&] { path = host_.files().text(i); });
        p.step(124, [&] { bar.setValue(progressValue(i, n)); });
        p.step(126, [&] { bar.setText(QStringLiteral("Processing: ") + fs::fileName(path)); });
        p.step(128, [&] {
            if (services.pump) services.pump->pump();
            host_.pointer().setMousePointer(MousePointer::Busy);
        });
        if (extractionsEnded()) return;
        if (host_.stopRequested() || abandoned_) break;

        FileRequest request;
        request.index = i;
        request.path = path;
        request.password = [&] {
            if (!host_.currentOptions().promptForPassword) return QString();
            return services.boxes->input(passwordPrompt(path), QStringLiteral("Input Password"),
                                         QString());
        };
        FileText text;
        bool obtained = false;
        p.step(130, [&] {
            request.wait = {&bar, bar.text(), bar.value(), host_.files().count()};
            text = texts.obtain(request);
            obtained = true;
        });
        // The window was closed during the extraction: nothing more to do.
        if (extractionsEnded()) return;
        if (!obtained) continue;

        switch (text.outcome) {
            case TextOutcome::NotCopied:
                fail(path, kNotCopiedSuffix);
                break;
            case TextOutcome::Protected:
                fail(path, kProtectedSuffix);
                break;
            case TextOutcome::Unreadable:
                fail(path, kUnreadableSuffix);
                break;
            case TextOutcome::Text:
                p.step(132, [&] {
                    SearchChunks(path, text.chunks, host_.currentOptions(), host_.results());
                });
                p.step(134, [&] { host_.results().publish(); });
                break;
        }
    }

    texts.endRun();

    p.step(136, [&] {
        if (!trimBlanks(unreadable).isEmpty())
            unreadable = QStringLiteral("\r\nThe following files could not be read:") + unreadable;
    });
    p.step(138, [&] {
        host_.pointer().setMousePointer(MousePointer::Default);
        bar.setValue(0);
        bar.setText(QStringLiteral("Progress Bar"));
    });
    p.step(140, [&] {
        if (!host_.stopRequested() && !abandoned_)
            services.boxes->message(QStringLiteral("Done.") + unreadable, applicationTitle());
    });
    p.step(142, [&] {
        if (!restartPending_) host_.setCaption(str(kStartCaption));
    });
}

}  // namespace qm
