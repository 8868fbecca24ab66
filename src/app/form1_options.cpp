// Search options and find sets, the file-list commands, hover and "Help".
#include "app/form1.h"

namespace qm {

void Form1::PushButton5_Click() {}
void Form1::PushButton9_Click() {}
void Form1::PushButton12_Click() {}
void Form1::PushButton14_Click() {}
void Form1::PushButton15_Click() {}
void Form1::PushButton16_Click() {}
void Form1::Text1_Change() {}
void Form1::Combo1_GotFocus() {}
void Form1::Option1_Click() {}
void Form1::Option2_Click() {}
void Form1::Option3_Click() {}
void Form1::Option4_Click() {}
void Form1::Check1_Click() {}
void Form1::ListView1_DblClick() {}
void Form1::ListView1_KeyDown(int) {}
void Form1::MouseMoveOver(QWidget*) {}
void Form1::SetSinglePhrase(const QString&) {}

}  // namespace qm
