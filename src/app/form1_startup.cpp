// Start-up, shutdown and the sample files.
#include "app/form1.h"

namespace qm {

void Form1::Form_Load() {}
void Form1::Form_Unload() {}
void Form1::PushButton10_Click() {}

}  // namespace qm
