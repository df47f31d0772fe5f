#include "main_window/frmCorvane.h"

// Placeholders until the folder pickers are built.
void frmCorvane::cmdBrowseSource_Click() {}
void frmCorvane::cmdBrowseDestination_Click() {}
