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
// exits with /TESTCODE:n, in a folder of its own. Given /L, it prints the
// listing set by setListing() (if any) instead of its progress, and exits
// with /TESTLISTCODE:n when that is given. Without /L but with
// /TESTOUTPUT:name it prints the output set by setOutput() under that name,
// a line at a time, /TESTDELAY:ms between lines. The log it writes is named by
// CORVANE_TEST_LOG for the object's lifetime; a test puts the folder on PATH
// itself.
class RecordingRobocopy
{
public:
    explicit RecordingRobocopy(const QString &folder);

    const QString &folder() const { return m_folder; }
    // The runs recorded since the log was last cleared.
    QList<RecordedRun> runs() const;
    // Forgets the runs and the listing.
    void clear() const;
    // What a listing run prints (UTF-8 here; in the OEM code page on Windows).
    void setListing(const QString &text) const;
    // What a run given /TESTOUTPUT:name prints, the same way.
    void setOutput(const QString &name, const QByteArray &utf8) const;

private:
    QString listingFile() const;
    QString m_folder;
    QString m_log;
    ScopedEnvironmentVariable m_logVariable;
};
