#pragma once

// Tests change state that belongs to the whole process. Each change is made
// by one of the objects below and undone when that object goes, however its
// scope ends, so no test leaves anything behind for the next one:
//
//   the message box          SetMsgBoxExec        (tools/basTools.h)      ScopedHook, MessageBoxCatcher
//   the open and save dialog SetFileDialogExec    (run/basCommonDialog.h) ScopedHook, SaveDialogAnswer
//   Windows' save dialog     the system's own, answered from a thread     SaveDialogAnswer
//   the folder dialog        SetFolderDialogHook  (tools/basBrowseFolder.h) ScopedHook
//   the asking before a run  SetPreviewDialogExec (run/frmPreview.h)    ScopedHook
//   the console program      SetConsoleProgram    (run/basShell.h)        ScopedHook
//   the INI commit hook      setIniCommitHook     (settings/IniFile.h)    ScopedHook
//   URL handlers             QDesktopServices                             ScopedUrlHandler
//   Qt's own settings folder QSettings::setPath                           ScopedSettingsPath
//   environment variables    PATH, CORVANE_TEST_LOG                       ScopedEnvironmentVariable
//   the current folder       QDir::setCurrent                             ScopedCurrentFolder
//   the message handler      qInstallMessageHandler                       ScopedMessageHandler
//   the default locale       QLocale::setDefault                          ScopedCLocale
//
// Each of the program's hooks stands where it hands over to the platform
// (the message box's exec, the dialogs' exec, the spawned console, the
// rename of a new Settings.ini), so that all of the program's own logic runs
// in the tests.

#include <QByteArray>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <type_traits>
#include <utility>

// Puts a process-wide hook in place for the life of one object and restores
// the one it replaced when the object goes. The setter takes the new hook
// and returns the previous one.
template <typename Hook>
class ScopedHook
{
public:
    using Setter = Hook (*)(Hook);
    ScopedHook(Setter set, std::type_identity_t<Hook> hook) : m_set(set), m_previous(set(std::move(hook))) {}
    ~ScopedHook() { m_set(std::move(m_previous)); }
    ScopedHook(const ScopedHook &) = delete;
    ScopedHook &operator=(const ScopedHook &) = delete;

private:
    Setter m_set;
    Hook m_previous;
};

class ScopedEnvironmentVariable
{
public:
    ScopedEnvironmentVariable(const char *name, const QString &value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
    ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_previous;
};

class ScopedCurrentFolder
{
public:
    explicit ScopedCurrentFolder(const QString &folder);
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder &) = delete;
    ScopedCurrentFolder &operator=(const ScopedCurrentFolder &) = delete;

private:
    QString m_previous;
};

// QDesktopServices keeps no handler of its own for these schemes, so the
// scheme is left without one again.
class ScopedUrlHandler
{
public:
    ScopedUrlHandler(const QString &scheme, QObject *receiver, const char *method);
    ~ScopedUrlHandler();
    ScopedUrlHandler(const ScopedUrlHandler &) = delete;
    ScopedUrlHandler &operator=(const ScopedUrlHandler &) = delete;

private:
    QString m_scheme;
};

// Where Qt's own classes (the file dialog) keep the user's settings.
class ScopedSettingsPath
{
public:
    explicit ScopedSettingsPath(const QString &folder);
    ~ScopedSettingsPath();
    ScopedSettingsPath(const ScopedSettingsPath &) = delete;
    ScopedSettingsPath &operator=(const ScopedSettingsPath &) = delete;

private:
    QString m_previousNative;
    QString m_previousIni;
};

class ScopedMessageHandler
{
public:
    explicit ScopedMessageHandler(QtMessageHandler handler) : m_previous(qInstallMessageHandler(handler)) {}
    ~ScopedMessageHandler() { qInstallMessageHandler(m_previous); }
    ScopedMessageHandler(const ScopedMessageHandler &) = delete;
    ScopedMessageHandler &operator=(const ScopedMessageHandler &) = delete;
    QtMessageHandler previous() const { return m_previous; }

private:
    QtMessageHandler m_previous;
};

// Numbers and sizes as the C locale writes them, for the object's lifetime.
class ScopedCLocale
{
public:
    ScopedCLocale() { QLocale::setDefault(QLocale(QLocale::C)); }
    ~ScopedCLocale() { QLocale::setDefault(m_previous); }
    ScopedCLocale(const ScopedCLocale &) = delete;
    ScopedCLocale &operator=(const ScopedCLocale &) = delete;

private:
    QLocale m_previous;
};
