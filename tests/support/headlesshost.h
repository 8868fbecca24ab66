#pragma once
// A search run's host without a window, for tests and benchmarks: the file
// list, the results and the options are plain members; the boxes, the pump,
// the bar and the pointer are the scripted stand-ins.

#include "filelist/filelist.h"
#include "platform/settings.h"
#include "results/resultslist.h"
#include "search/searchrun.h"
#include "support/scripted.h"
#include "terms/searchoptions.h"

namespace qm::test {

class HeadlessHost : public SearchHost {
  public:
    HeadlessHost() {
        svc.boxes = &boxes;
        svc.pump = &pump;
    }
    Services& services() override { return svc; }
    ProgressBar& progress() override { return bar; }
    MousePointer& pointer() override { return ptr; }
    const FileList& files() override { return list; }
    ResultsList& results() override { return rows; }
    SearchOptions currentOptions() override { return options; }
    bool& stopRequested() override { return stop; }
    QString caption() override { return caption_; }
    void setCaption(const QString& c) override { caption_ = c; }
    QString extractorPath() override { return extractor; }
    // The program's own work folder unless `work` names another.
    QString workFolder() override { return work.isEmpty() ? qm::workFolder() : work; }

    ScriptedMessageBoxes boxes;
    ScriptedEventPump pump;
    Services svc;
    ScriptedProgressBar bar;
    ScriptedMousePointer ptr;
    FileList list;
    ResultsList rows;
    SearchOptions options;
    bool stop = false;
    QString caption_ = QString::fromLatin1(kStartCaption);
    QString extractor;
    QString work;
};

}  // namespace qm::test
