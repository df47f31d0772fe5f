#include "main_window/frmCorvane.h"

// Placeholders until running and export are built.
void frmCorvane::cmdExecute_Click() {}
void frmCorvane::mnuFileExecute_Click() { cmdExecute_Click(); }
void frmCorvane::cmdCopy_Click() {}
void frmCorvane::mnuFileSaveAs_Click() {}
void frmCorvane::mnuHelpRoboCopy_Click() {}
void frmCorvane::mnuHelpAbout_Click() {}
