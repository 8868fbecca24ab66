#pragma once
// The window's keyboard: Enter in the phrase field starts the search as
// "Start Searching" does, Enter on a result row opens it as a double click
// does, and a ring drawn around the control that has the keyboard focus.

namespace qm {

class Form1;

void setUpWindowKeys(Form1& form);

}  // namespace qm
