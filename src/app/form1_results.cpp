// The results list's buttons: clear, save, spreadsheet, clipboard, open.
#include "app/form1.h"

namespace qm {

void Form1::PushButton2_Click() {}
void Form1::PushButton3_Click() {}
void Form1::PushButton4_Click() {}
void Form1::PushButton8_Click() {}
void Form1::PushButton11_Click() {}
void Form1::PushButton13_Click() {}

}  // namespace qm
