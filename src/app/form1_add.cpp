// Adding files: the open dialog, the folder scan, drag and drop, reordering.
#include "app/form1.h"

namespace qm {

void Form1::PushButton1_Click() {}
void Form1::PushButton6_Click() {}

}  // namespace qm

namespace qm {

void Form1::ListView1_OLEDragOver(QDragMoveEvent*) {}
void Form1::ListView1_OLEDragDrop(QDropEvent*) {}
void Form1::ListView1_ItemClick(int) {}
void Form1::ListView1_MouseDown(QMouseEvent*) {}
void Form1::ListView1_MouseMove(QMouseEvent*) {}
void Form1::ListView1_MouseUp(QMouseEvent*) {}

}  // namespace qm
