#pragma once
// The window's search controls as the start-up restore sees them.

#include "app/form1.h"
#include "app/restoreoptions.h"

namespace qm {

class Form1SearchControls : public SearchControls {
  public:
    explicit Form1SearchControls(Form1& form) : form_(form) {}
    void setPhrase(const QString& text) override;
    void appendFindSets(const QStringList& entries) override;
    void setOption(int number, bool selected) override;
    void setPasswordPrompt(bool ticked) override;

  private:
    Form1& form_;
};

}  // namespace qm
