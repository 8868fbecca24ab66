// The search run: "Start Searching" / "Stop Searching".
#include <QPushButton>

#include "app/form1.h"
#include "extraction/textcache.h"
#include "platform/settings.h"
#include "search/parallelsource.h"
#include "search/searchrun.h"

namespace qm {

// The window as the search run sees it.
class FormSearch : public SearchHost {
  public:
    FormSearch(Form1& form, TextCache& cache) : form_(form), run(*this, makeSource(form, cache)) {}

    Services& services() override { return form_.services(); }
    ProgressBar& progress() override { return form_; }
    MousePointer& pointer() override { return form_; }
    const FileList& files() override { return form_.fileList; }
    ResultsList& results() override { return form_.results; }
    SearchOptions currentOptions() override { return form_.searchOptions(); }
    bool& stopRequested() override { return form_.StopRequested; }
    QString caption() override { return form_.PushButton7->text(); }
    void setCaption(const QString& caption) override { form_.PushButton7->setText(caption); }
    QString extractorPath() override { return form_.ExtractorPath; }
    QString workFolder() override { return qm::workFolder(); }

  private:
    // Extraction on every core, keeping the texts in the window's cache.
    static std::shared_ptr<TextSource> makeSource(Form1& form, TextCache& cache) {
        ParallelTextSource::Setup setup;
        setup.extractorPath = form.ExtractorPath;
        setup.workFolder = qm::workFolder();
        setup.pump = form.services().pump;
        setup.boxes = form.services().boxes;
        setup.cache = &cache;
        return std::make_shared<ParallelTextSource>(std::move(setup));
    }

    Form1& form_;

  public:
    SearchRun run;
};

TextCache& Form1::textCache() {
    if (!textCache_) textCache_ = std::make_shared<TextCache>();
    return *textCache_;
}

void Form1::PushButton7_Click() {
    if (!search_) search_ = std::make_shared<FormSearch>(*this, textCache());
    // The run may outlive a later reset of the member; keep it alive meanwhile.
    std::shared_ptr<FormSearch> keep = search_;
    keep->run.click();
}

}  // namespace qm
