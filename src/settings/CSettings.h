#pragma once

#include "settings/SettingsLocation.h"

// Placeholder until the settings store is built.
class CSettings
{
public:
    explicit CSettings(const SettingsLocation &location = {}) : m_location(location) {}

private:
    SettingsLocation m_location;
};
