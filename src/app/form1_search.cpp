// The search run: "Start Searching" / "Stop Searching".
#include <QPushButton>

#include "app/form1.h"
#include "platform/settings.h"
#include "search/searchrun.h"

namespace qm {

// The window as the search run sees it.
class FormSearch : public SearchHost {
  public:
    explicit FormSearch(Form1& form) : form_(form), run(*this) {}

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
    Form1& form_;

  public:
    SearchRun run;
};

void Form1::PushButton7_Click() {
    if (!search_) search_ = std::make_shared<FormSearch>(*this);
    // The run may outlive a later reset of the member; keep it alive meanwhile.
    std::shared_ptr<FormSearch> keep = search_;
    keep->run.click();
}

}  // namespace qm
