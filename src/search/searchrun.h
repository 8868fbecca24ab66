#pragma once
// The search run behind "Start Searching" / "Stop Searching": takes the listed
// files one at a time, gets each one's text, adds one results row per
// occurrence of the phrase or phrases, and reports the files that could not
// be read. It talks to the window only through a SearchHost, so it runs as
// well without one.

#include <QString>
#include <memory>
#include <vector>

#include "platform/services.h"
#include "terms/searchoptions.h"

namespace qm {

class FileList;
class ResultsList;
class TextSource;

inline constexpr const char* kStartCaption = "Start Searching";
inline constexpr const char* kStopCaption = "Stop Searching";
inline constexpr const char* kProtectedSuffix = "  - password protected or text is protected.";
inline constexpr const char* kUnreadableSuffix =
    "  - text unreadable. Please view the file yourself to see if it is really a scanned image "
    "of text and not proper PDF text.";
inline constexpr const char* kNotCopiedSuffix = "  - file not found or could not be read.";

// What a run needs of the window (or of a front end without one).
class SearchHost {
  public:
    virtual ~SearchHost() = default;
    virtual Services& services() = 0;  // boxes and the event pump
    virtual ProgressBar& progress() = 0;
    virtual MousePointer& pointer() = 0;
    virtual const FileList& files() = 0;
    virtual ResultsList& results() = 0;
    // The search controls as they stand now; read again for every file.
    virtual SearchOptions currentOptions() = 0;
    virtual bool& stopRequested() = 0;
    virtual QString caption() = 0;  // of the start/stop button
    virtual void setCaption(const QString& caption) = 0;
    virtual QString extractorPath() = 0;
    virtual QString workFolder() = 0;
};

// A file that could not be searched, with the suffix it is reported with.
struct FileFailure {
    QString path;
    QString suffix;
};

class SearchRun {
  public:
    // Without a source, files are extracted one by one in the work folder.
    explicit SearchRun(SearchHost& host, std::shared_ptr<TextSource> source = nullptr);
    ~SearchRun();

    // The button's click: a stop request while the caption reads "Stop
    // Searching", else the start of a run.
    void click();
    // A run without the toggle: the input checks, then every file.
    void start();

    // True while a run is working through its files.
    bool active() const { return active_; }
    // Files that could not be searched in the last run, in list order.
    const std::vector<FileFailure>& failures() const { return failures_; }

    // The password prompt for a listed file.
    static QString passwordPrompt(const QString& path);
    // The progress value as file i of n begins.
    static int progressValue(int i, int n);

  private:
    bool inputAccepted();
    void runFiles();
    TextSource& source();

    SearchHost& host_;
    std::shared_ptr<TextSource> source_;
    bool ownSource_ = false;
    bool active_ = false;
    bool abandoned_ = false;       // the active run was asked to stop
    bool restartPending_ = false;  // a start click came while a stopped run finished
    std::vector<FileFailure> failures_;
};

}  // namespace qm
