#pragma once
// The main window. Every control is a member named as in the control table,
// with the same objectName. Event handlers are named after control and event;
// their bodies live in the form1_*.cpp file of the subsystem they belong to.

#include <QCursor>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "extraction/ocr.h"
#include "filelist/filelist.h"
#include "filelist/folderscan.h"
#include "platform/services.h"
#include "results/resultslist.h"
#include "search/engine.h"
#include "terms/searchoptions.h"

class QPushButton;
class QTreeView;
class QGroupBox;
class QRadioButton;
class QCheckBox;
class QLineEdit;
class QLabel;
class QComboBox;
class QProgressBar;
class QDragMoveEvent;
class QDropEvent;
class QMouseEvent;

namespace qm {

class TextPipeline;
class Procedure;

class Form1 : public QWidget {
    Q_OBJECT
  public:
    struct Config {
        // The folder of the program (optional files "x/o.cjs", "HAND-M.CUR",
        // "drag.ico" and the folder "Samples" are looked up there).
        QString applicationFolder;
        // Runs the start-up sequence in the constructor.
        bool runFormLoad = true;
        // The maker's web site, opened on about one start in a hundred; empty: never.
        QString webSiteAddress;
        // A uniform draw in [0, 1) for that; the system's generator when not set.
        std::function<double()> randomUnit;
        // Ends the program once the window has been unloaded; when not set, the
        // event loop is asked to quit.
        std::function<void()> endProgram;
        // Where the example files are looked for when no "Samples" folder is
        // beside the program (the installed share folder).
        QString installedSamplesFolder;
        // The drag pointer used when no "drag.ico" is beside the program.
        QString installedDragPointer;
        // Where a workbook for the spreadsheet program is written; empty: the
        // user's documents folder (else the temporary folder).
        QString workbookFolder;
        // The OCR engine (tesseract) that reads scanned pages; not set: looked
        // up on PATH at start-up; empty: none.
        std::optional<QString> tesseract;
    };

    Form1(Services& services, Config config, QWidget* parent = nullptr);
    ~Form1() override;

    // --- controls ---
    QPushButton* PushButton1 = nullptr;   // "Add PDF File(s)"
    QPushButton* PushButton2 = nullptr;   // "Clear Results"
    QPushButton* PushButton3 = nullptr;   // "Open All Files"
    QPushButton* PushButton4 = nullptr;   // "Save Results As Text File"
    QPushButton* PushButton5 = nullptr;   // "Help"
    QPushButton* PushButton6 = nullptr;   // "Add All PDF File(s) In Folder"
    QPushButton* PushButton7 = nullptr;   // "Start Searching" / "Stop Searching"
    QPushButton* PushButton8 = nullptr;   // "Copy Results To Clipboard"
    QPushButton* PushButton9 = nullptr;   // "Clear List"
    QPushButton* PushButton10 = nullptr;  // "Load Sample/Example Files"
    QPushButton* PushButton11 = nullptr;  // "Open Selected File"
    QPushButton* PushButton12 = nullptr;  // "+"
    QPushButton* PushButton13 = nullptr;  // "Save Results As Excel File"
    QPushButton* PushButton14 = nullptr;  // "-"
    QPushButton* PushButton15 = nullptr;  // "Clr"
    QPushButton* PushButton16 = nullptr;  // "Load"
    QTreeView* ListView1 = nullptr;       // the file list
    QTreeView* ListView2 = nullptr;       // the results
    QGroupBox* Frame1 = nullptr;          // "Search Options"
    QGroupBox* Frame2 = nullptr;          // "Case Options"
    QGroupBox* Frame3 = nullptr;          // "Option"
    QRadioButton* Option1 = nullptr;      // "Match case"
    QRadioButton* Option2 = nullptr;      // "Ignore case"
    QRadioButton* Option3 = nullptr;      // "Search for this:"
    QRadioButton* Option4 = nullptr;      // "Search for multiple:"
    QCheckBox* Check1 = nullptr;          // password prompt
    QCheckBox* Check2 = nullptr;          // "Match across line breaks"
    QCheckBox* Check3 = nullptr;          // "Read scanned pages (OCR)"
    QCheckBox* Check4 = nullptr;          // "Also search comments, forms, ..."
    QCheckBox* Check5 = nullptr;          // "Whole words"
    QCheckBox* Check6 = nullptr;          // "Ignore accents"
    QCheckBox* Check7 = nullptr;          // "Regular expression"
    QLineEdit* Text1 = nullptr;           // the single phrase
    QComboBox* Combo1 = nullptr;          // the find sets
    QProgressBar* ProgressBar1 = nullptr;
    // Not designed with the rest: the filter above the results and their count below.
    QLineEdit* ResultsFilter = nullptr;
    QLabel* ResultsStatus = nullptr;

    // --- models and window-owned state ---
    FileList fileList;    // shown by ListView1
    ResultsList results;  // shown by ListView2
    // The results as ListView2 shows them: sorted and filtered as the user asked.
    class ResultsView& resultsView() {
        return *resultsView_;
    }
    // The rows the exports take: those shown, in the order shown.
    const ResultRows& exportRows();
    // The status line under the results, for the rows and the last run.
    void showResultsStatus();
    QString ExtractorPath;  // absolute path of pdftotext, empty when none was found
    bool StopRequested = false;
    Services& services() { return services_; }
    const Config& config() const { return config_; }

    // The search controls as they stand now.
    SearchOptions searchOptions() const;
    // The engine of the searches and of the add-time check: one text cache and
    // one set of workers, so a file is never extracted twice when a search
    // starts during the check.
    SearchEngine& engine();
    // What the controls ask for now: a search (`match`), or the add-time
    // check's reading of the listed texts.
    SearchRequest searchRequest(bool match);
    // A search session runs (from the click that started it until its end).
    bool searchRunning() const;

    // --- ProgressBar1: its Text and Value ---
    int value() const;
    // Virtual so that a test can keep a record of the values the window shows.
    virtual void setValue(int v);
    QString text() const;
    // Virtual so that a test can keep a record of the texts the bar shows.
    virtual void setText(const QString& t);
    // ProgressBar1 as the engine's waits show themselves on it.
    ProgressBar& progressBar();

    // --- the window's pointer: 0 default, 11 busy, 99 hover hand ---
    int mousePointer() const { return pointer_; }
    virtual void setMousePointer(int value);
    bool isBusy() const { return pointer_ == MousePointer::Busy; }
    // The cursor shown for pointer value 99.
    QCursor hoverCursor() const { return hoverCursor_; }
    void setHoverCursor(const QCursor& c) { hoverCursor_ = c; }

    // --- start-up and shutdown ---
    void Form_Load();
    void Form_Unload();

    // --- event handlers ---
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void PushButton10_Click();
    void PushButton11_Click();
    void ListView2_DblClick(int row);  // 0-based
    void PushButton12_Click();
    void PushButton13_Click();
    void PushButton14_Click();
    void PushButton15_Click();
    void PushButton16_Click();
    void Text1_Change();
    // The user opens, picks from or types into Combo1 (not Tab passing over it).
    void Combo1_GotFocus();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    // The match options' boxes: each stores its key ("WholeWords", "IgnoreAccents", "Regex").
    void Check5_Click();
    void Check6_Click();
    void Check7_Click();
    void ListView1_DblClick();
    void ListView1_KeyDown(int keyCode);
    // Drops from other programs and reordering by dragging (form1_add.cpp).
    void ListView1_OLEDragOver(QDragMoveEvent* event);
    void ListView1_OLEDragDrop(QDropEvent* event);
    // Adds full paths as a drop of them does: folders walked, files as given,
    // then the add-time check. The drop and the program's arguments use it.
    void addPaths(const QStringList& paths);
    // Walks `folders` (filelist/folderscan.h) on a thread of its own while the
    // window's events go on; the walk's failures are reported after it.
    void walkBeside(QStringList& folders, WalkProblems* unreadable);
    void ListView1_ItemClick(int position);
    void ListView1_MouseDown(QMouseEvent* event);
    void ListView1_MouseMove(QMouseEvent* event);
    void ListView1_MouseUp(QMouseEvent* event);
    // Hover rules: the pointer for a mouse move over a control.
    void mouseMoveOver(QWidget* control);

    // The preview of the selected hit's page (form1_preview.cpp): shows row
    // `row` (-1: none) while the pane is shown.
    void showPreview(int row);
    // A file's password given during a search, for the preview to open it with.
    void rememberPassword(const QString& path, const QString& password);

    // The add-time check after every addition to the list (form1_check.cpp):
    // every listed file extracted, the short texts reported in one message.
    void runAddTimeCheck();
    // The add-time check runs; stopCheck() ends it (the files not yet checked
    // are not reported).
    bool checkRunning() const;
    void stopCheck();
    // The report of a check that ended during a search, shown at the search's end.
    void showPendingCheckReport();

  Q_SIGNALS:
    // A search session or an add-time check has ended (after its messages).
    void searchFinished();
    void checkFinished();

  public:
    // Sets Text1 as a change of Text1 (stores it and selects "Search for this:").
    void setSinglePhrase(const QString& text);

    // The procedure whose step is changing a search control right now (the
    // start-up restore, the sample files' phrase); the control's handler reports
    // its errors there. None while the user changes the control.
    Procedure* callingProcedure = nullptr;

    // How the controls follow the window's size and the layout's scale.
    class WindowLayout& windowLayout() {
        return *layout_;
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void buildResultsBar();  // form1_status.cpp
    void fitCaptions();
    // How the controls follow the window when it grows (form1_placement.cpp).
    void anchorControls();
    // Enter keys and the focus ring (form1_keys.cpp).
    void setUpKeys();
    void connectHandlers();

    Services& services_;
    Config config_;
    class WindowLayout* layout_ = nullptr;  // a child of the window
    int pointer_ = 0;
    QCursor hoverCursor_;
    QString progressText_ = QStringLiteral("Progress Bar");
    class ResultsView* resultsView_ = nullptr;
    ResultRows exportCopy_;                     // the shown rows while an export takes them
    std::optional<SearchSummary> lastSummary_;  // of the last run, until the results are cleared
    int lastListed_ = 0;                        // files listed when it started
    friend class FormSearch;

    // --- state of the subsystems' handlers; each adds its own below its line ---
    // search run (form1_search.cpp)
    std::shared_ptr<class FormSearch> search_;  // made at the first click
    // Extracted texts and the workers, shared by the searches and the add-time
    // check for the window's whole life.
    std::unique_ptr<SearchEngine> engine_;
    // the add-time check (form1_check.cpp)
    std::shared_ptr<class FormCheck> check_;
    QString pendingCheckReport_;
    friend class FormCheck;
    std::unique_ptr<ProgressBar> progressBar_;  // adapter over ProgressBar1
    // adding files, drag and drop, reordering (form1_add.cpp)
    bool IsDragging = false;          // a mouse button is held down over ListView1
    QPersistentModelIndex DragItem;   // the entry being moved
    QPersistentModelIndex HoverItem;  // the entry under the pointer during one move
    // results (form1_results.cpp)
    // The one-second pause after each file "Open All Files" opens; empty means
    // waitSeconds on the real clock. Tests put a recorder here.
    std::function<void(int seconds)> waitSeconds_;
    friend class ResultsButtonsTest;
    // scanned pages read with OCR (form1_ocr.cpp)
    QString tesseract_;  // found at start-up; empty: the box is unavailable
    // The box's state at start-up: available or not, and as stored.
    void setUpOcrBox(Procedure& p);
    // the preview below the results (form1_preview.cpp)
    class PreviewPane* preview_ = nullptr;
    void setUpPreview();
    // start-up, shutdown and samples (form1_startup.cpp)
    void applySkin();
    void openWebSiteOccasionally();
    QString sampleFolder() const;
    void loadSampleFiles(FileList& list);
    bool unloaded_ = false;
};

// Texts of the search run and the add-time check.
// The progress value as file i of n begins.
int progressValue(int i, int n);
QString doneMessage(const SearchSummary& summary, bool extractorMissing = false);
// The unreadable files of a run as the "Done." message lists them; empty when none.
QString unreadableReport(const SearchSummary& summary, bool extractorMissing = false);
// The desktop's font family at a designed point size, bold.
QFont designedFont(double points);
// The texts kept in memory for the window's life.
inline constexpr std::int64_t kWindowTextCacheBytes = 512ll * 1024 * 1024;
// The add-time check's message for the reported paths (each followed by CR LF).
QString checkReportText(const QString& reportedPaths);
// The answer to "Start Searching" in "Search for multiple:" mode without a phrase.
QString emptyFindSetMessage();
// The message shown once at start-up when no text extractor was found.
QString extractorMissingMessage();

}  // namespace qm
