#include "main_window/frmCorvane.h"

// Placeholders until drag and drop is built.
void frmCorvane::setUpDropTargets() {}
bool frmCorvane::dropOnto(QWidget *, const QMimeData *) { return false; }
bool frmCorvane::eventFilter(QObject *watched, QEvent *event) { return QMainWindow::eventFilter(watched, event); }
