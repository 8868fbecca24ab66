// Adding files: the open dialog, the folder scan, drag and drop, reordering.
#include "app/form1.h"

namespace qm {

void Form1::PushButton1_Click() {}
void Form1::PushButton6_Click() {}

}  // namespace qm
