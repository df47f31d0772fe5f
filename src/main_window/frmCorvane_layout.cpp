#include "main_window/frmCorvane.h"

// Placeholders until layout and scrolling are built.
void frmCorvane::Form_Resize() {}
void frmCorvane::HScroll1_Change() {}
void frmCorvane::VScroll1_Change() {}
void frmCorvane::resizeEvent(QResizeEvent *event) { QMainWindow::resizeEvent(event); }
void frmCorvane::changeEvent(QEvent *event) { QMainWindow::changeEvent(event); }
