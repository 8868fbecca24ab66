#pragma once
// The restore of the search controls at start-up, as steps of Form_Load.

#include <QString>
#include <QStringList>

#include "app/errorreport.h"
#include "platform/services.h"

namespace qm {

// The search controls as the restore sees them. Every call is a change of the
// control, so its own change handling runs.
class SearchControls {
  public:
    virtual ~SearchControls() = default;
    virtual void setPhrase(const QString& text) = 0;              // Text1
    virtual void appendFindSets(const QStringList& entries) = 0;  // Combo1
    virtual void setOption(int number, bool selected) = 0;        // Option1..Option4
    virtual void setPasswordPrompt(bool ticked) = 0;              // Check1
};

// Restores, in this order, "Text1" (step 158), "FindSets" (160-164), "Option1"
// to "Option4" (176-182) and "Check1" (184) as steps of the start-up procedure
// `p`. The option and check values are the ones stored at the start, whatever
// the change handling of earlier steps writes meanwhile. A value that cannot be
// converted is reported at its step and its control keeps its state.
void restoreSearchOptions(Procedure& p, const SettingsStore& settings, SearchControls& controls);

}  // namespace qm
