#pragma once

#include <QString>

#include <functional>

// Run results besides a process's own exit code. All are negative, so the
// exit report reads any of them as a serious error.
enum RunResult : int {
    RunCannotStart = -1,      // the process could not be started
    RunStatusUnreadable = -2, // its status could not be read during the wait
    RunAbandoned = -3,        // the caller gave up the wait; the process goes on
    RunEndedAbnormally = -4,  // a signal ended the console (killed, crashed)
    RunCancelled = -5,        // the user ended the run in Corvane's run window
};

// Called between polls; false ends the wait at once (the process is left running).
using KeepWaiting = std::function<bool()>;

// Starts the process command in a console window of its own and waits for it,
// letting the application process its events every 55 ms so the window stays
// usable (a second run may start and end inside this wait). Returns the exit
// code or one of the RunResult values.
int RunAndWait(const QString &command, const KeepWaiting &keepWaiting = {});

// Off Windows there is no cmd.exe: RunAndWait starts this stand-in console
// with the process command as its single argument. By default it is
// corvane-cmd beside the running executable; tests point elsewhere. Returns
// the path it replaces (empty: the default).
QString SetConsoleProgram(QString path);
QString ConsoleProgram();

// Whether ShellOpen takes a text as a web address (a scheme, "www." or
// "mailto:") rather than a file.
bool IsWebAddress(const QString &text);

// Opens a document or web address with the desktop's default handler.
// Returns 0 when the request was made, otherwise a failure code from 1 to 32
// (31: no program takes it). Throws nothing of its own; a failure of
// the request itself surfaces as an exception from the platform layer.
int ShellOpen(const QString &file, const QString &parameters, const QString &verb,
              const QString &folder, int showState);
