#pragma once

#include "ScopedHook.h"

#include <QList>
#include <QString>
#include <QStringList>

// One run of the recording ROBOCOPY.EXE: its arguments and whether it ended.
struct RecordedRun
{
    QStringList args;
    bool ended = false;
};

// A ROBOCOPY.EXE that records its arguments, waits /TESTWAIT:seconds and
// exits with /TESTCODE:n, in a folder of its own. The log it writes is named
// by CORVANE_TEST_LOG for the object's lifetime; a test puts the folder on
// PATH itself.
class RecordingRobocopy
{
public:
    explicit RecordingRobocopy(const QString &folder);

    const QString &folder() const { return m_folder; }
    // The runs recorded since the log was last cleared.
    QList<RecordedRun> runs() const;
    void clear() const;

private:
    QString m_folder;
    QString m_log;
    ScopedEnvironmentVariable m_logVariable;
};
