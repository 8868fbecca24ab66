#pragma once
// The preview: the page of the selected hit, scaled to the pane's width, with
// every occurrence of the hit's phrase on it marked in the selection colour
// and the hit's own occurrence marked more strongly and scrolled into view.
// Pages are made ready off the window's thread (preview/pagesource.h); a
// new hit ends the page still being made. A page that could not be shown
// leaves one line in the pane; a page without text of its own (a scan read
// by OCR) is shown unmarked and the pane says so.

#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "preview/hitmap.h"
#include "preview/pagerender.h"
#include "preview/pagesource.h"
#include "terms/searchoptions.h"

class QLabel;
class QScrollArea;

namespace qm {

class PageCanvas;
class ResultRows;

// What the pane shows: the hit's file and page, and which occurrence of its
// phrase on that page it is (from 0, in the order the search found them).
struct PreviewHit {
    QString path;
    int page = 0;
    QString phrase;
    int occurrence = 0;
    CaseMode caseMode = CaseMode::IgnoreCase;
    bool loose = false;
};

// Which occurrence on its page row `row` is: its rank among the rows of the
// same file, page and phrase, in the order they were found.
int occurrenceOnPage(const ResultRows& rows, int row);

// The line the pane shows for a page that could not be shown.
QString pageFailureText(const PageImage& image);

class PreviewPane : public QWidget {
    Q_OBJECT
  public:
    // `setup` gives the programs and the pane's own folder of the work
    // folder, asked when the first page is wanted.
    PreviewPane(std::function<PageSource::Setup()> setup, QWidget* parent = nullptr);
    ~PreviewPane() override;

    // Shows the hit's page (at once when it is kept, else once it is ready).
    void showHit(const PreviewHit& hit);
    // Shows nothing.
    void clear();
    // The password of a file opened with one during the window's searches.
    void rememberPassword(const QString& path, const QString& password);

    // The case and line-break rules of the search that found the rows shown.
    struct Rules {
        CaseMode caseMode;
        bool loose;
    };
    std::optional<Rules> searchRules;

    // The line the pane says (empty: none); the page's image as shown; the
    // boxes of the occurrences marked (page points), the hit's own first.
    QString message() const;
    const QImage& image() const { return image_; }
    const std::vector<PageOccurrence>& marks() const { return marks_; }
    int markedOccurrence() const { return own_; }

  Q_SIGNALS:
    // Double click or Enter: open the file at the page, as the row does.
    void openRequested();
    // The hit asked for last is shown (its page, or the line saying why not).
    void hitShown();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void request();
    void take(quint64 id, std::shared_ptr<const PageImage> page);
    void say(const QString& line);
    int wantedWidth() const;

    PageSource& source();
    std::function<PageSource::Setup()> setup_;
    PageSource* source_ = nullptr;  // made at the first page wanted
    QLabel* message_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    PageCanvas* canvas_ = nullptr;
    QHash<QString, QString> passwords_;
    PreviewHit hit_;
    bool hasHit_ = false;
    int askedWidth_ = 0;
    QImage image_;
    int dpi_ = 72;
    std::vector<PageOccurrence> marks_;
    int own_ = -1;  // index into marks_ of the hit's own occurrence
};

}  // namespace qm
