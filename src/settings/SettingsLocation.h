#pragma once

#include <QString>

// Where the settings store keeps its two back ends. The program leaves both
// empty (Settings.ini beside the executable, the platform's per-user store);
// tests point them at a scratch folder.
struct SettingsLocation
{
    QString iniPath;       // full path of Settings.ini; empty: beside the executable
    // File standing in for the per-user store, or on Windows a registry key
    // given in full ("HKEY_CURRENT_USER\\..."); empty: the native one.
    QString userStorePath;
};
