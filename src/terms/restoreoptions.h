#pragma once
// Stored option values and the restore of the search controls at start-up.

#include <QString>
#include <QStringList>

#include "platform/error.h"
#include "platform/services.h"

namespace qm {

// "True"/"False" in any letter case, or a number (0 false, any other true);
// blanks around the text are ignored. Throws qm::Error naming `key` otherwise.
bool SettingToBoolean(const QString& key, const QString& text);

// A number rounded to a whole number (halves to the even neighbour); throws
// qm::Error naming `key` when the text is no number or out of range.
int SettingToWholeNumber(const QString& key, const QString& text);

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
void RestoreSearchOptions(Procedure& p, const SettingsStore& settings, SearchControls& controls);

}  // namespace qm
