#pragma once

#include "settings/SettingsLocation.h"

#include <QStringList>

#include <functional>

class frmCorvane;

// The program's run from start-up to shut-down: the window loads its settings
// and shows; "corvane FILE" (a file manager opening a command or job file)
// opens that file; the event loop runs until the window closes. On Windows
// the process ends as soon as closing has saved everything. started, when
// given, is called once the window shows (a benchmark closes it from there).
// Returns the exit code.
int RunProgram(const QStringList &arguments, const SettingsLocation &location = {},
               const std::function<void(frmCorvane &)> &started = {});
