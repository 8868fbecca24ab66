// The search run: "Start Searching" / "Stop Searching".
#include "app/form1.h"

namespace qm {

void Form1::PushButton7_Click() {}

}  // namespace qm
