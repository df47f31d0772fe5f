#include "main_window/frmCorvane.h"

#include "settings/CSettings.h"

#include <QCloseEvent>

// Placeholders until the settings are built.
void frmCorvane::Form_Load() { UpdateCommandLine(); }
void frmCorvane::Form_Unload() {}
void frmCorvane::SaveFormSettings() {}
void frmCorvane::LoadFormSettings() {}
void frmCorvane::ClearFormSettings() {}
void frmCorvane::mnuFileSave_Click() {}
void frmCorvane::mnuFileLoad_Click() {}
void frmCorvane::mnuFileClear_Click() {}
void frmCorvane::mnuFileExit_Click() { close(); }
void frmCorvane::mnuOptionsAutoClose_Click() {}
void frmCorvane::mnuOptionsSaveOnExit_Click() {}
void frmCorvane::mnuOptionsUseIni_Click() {}
void frmCorvane::closeEvent(QCloseEvent *event) { event->accept(); }
