#include "ScopedHook.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char *name, const QString &value)
    : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name))
{
    qputenv(name, value.toLocal8Bit());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable()
{
    if (m_wasSet)
        qputenv(m_name, m_previous);
    else
        qunsetenv(m_name);
}

ScopedCurrentFolder::ScopedCurrentFolder(const QString &folder) : m_previous(QDir::currentPath())
{
    if (!QDir::setCurrent(folder))
        qFatal("cannot make %s the current folder", qPrintable(folder));
}

ScopedCurrentFolder::~ScopedCurrentFolder() { QDir::setCurrent(m_previous); }

ScopedUrlHandler::ScopedUrlHandler(const QString &scheme, QObject *receiver, const char *method) : m_scheme(scheme)
{
    QDesktopServices::setUrlHandler(scheme, receiver, method);
}

ScopedUrlHandler::~ScopedUrlHandler() { QDesktopServices::unsetUrlHandler(m_scheme); }

namespace {
// The folder Qt keeps a format's per-user settings in now; a QSettings object
// tells it without writing anything.
QString settingsFolder(QSettings::Format format)
{
    const QSettings probe(format, QSettings::UserScope, QStringLiteral("probe"));
    return QFileInfo(probe.fileName()).path();
}
} // namespace

ScopedSettingsPath::ScopedSettingsPath(const QString &folder)
    : m_previousNative(settingsFolder(QSettings::NativeFormat)), m_previousIni(settingsFolder(QSettings::IniFormat))
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

ScopedSettingsPath::~ScopedSettingsPath()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_previousNative);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_previousIni);
}
