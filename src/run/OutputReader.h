#pragma once

#include "run/Listing.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Reading what Robocopy prints while it runs, for the run window: text in,
// counts out, no process and no widget. Robocopy's output and corvane-copy's
// read alike.
//
// As for the listing, the layout is relied on, not the words: an entry is a
// line with tabs (a folder's: tag and count, then the path; a file's: tag,
// two tabs, size, a tab, the name), its class told by its tag's first
// letter (a capital: copied; a small letter: skipped, shown under /V; "*":
// an anomaly, "*EXTRA" the extras). Sizes are bytes (/BYTES) or scaled
// ("44.0 m"); /TS puts a time after the size, /NS leaves the size out, /NC
// the tag, /ETA puts the times after the name. A copy's percentages follow
// its line, each after a carriage return; under /MT a file's line comes when
// it is done, after "100%". An error starts in the first column with the
// time, "ERROR n (0x...)" and what failed, and the system's message is the
// next line; "Waiting n seconds... Retrying..." after it means the entry is
// tried again.

// One error as Robocopy told it.
struct RunError
{
    QString line;    // "2024/01/15 10:12:13 ERROR 5 (0x00000005) Copying File C:\Data\a.db"
    QString message; // the system's message on the next line ("Access is denied.")
    bool retried = false; // "Waiting ... Retrying" followed: no failure (yet)
    friend bool operator==(const RunError &, const RunError &) = default;
};

// The counts so far, from the entries as they come.
struct RunCounts
{
    qint64 copied = 0;     // files copied whole (under /L: listed to copy)
    qint64 skipped = 0;    // files skipped: shown under /V, else what a folder's count leaves over
    qint64 extras = 0;     // extra files and folders named
    qint64 mismatched = 0; // *MISMATCH entries
    qint64 failed = 0;     // errors that were not retried
    qint64 bytesDone = 0;  // sizes of the copies ended, copied or failed (CurrentCopy: the one under way)
    qint64 copyLines = 0;  // copies begun, retries included
    qint64 sizedLines = 0; // file lines that carried a size (none under /NS)
    friend bool operator==(const RunCounts &, const RunCounts &) = default;
};

// The copy under way: its line has come, its end not yet.
struct CurrentCopy
{
    QString name;
    qint64 size = -1;  // -1 when the line shows none (/NS)
    int percent = -1;  // -1 before the first percentage (and always under /NP)
};

// A job's summary table.
struct RunSummary
{
    bool found = false; // the three rows were read
    SummaryRow dirs{};
    SummaryRow files{};
    SummaryRow bytes{};
    QStringList lines;  // the table as printed, from its column titles to "Ended", for showing
};

class OutputReader
{
public:
    // Text as it arrives, cut anywhere: a line feed (or CR LF) ends a line,
    // a carriage return alone goes back to its start (a percentage follows).
    void add(QStringView text);
    // The output has ended: a last line without its line break counts too,
    // and a copy still open is left unfinished.
    void finish();

    const RunCounts &counts() const { return m_counts; }
    // The copy under way; its name is empty when none is.
    const CurrentCopy &current() const { return m_current; }
    // The name of the last file named, for a run (/MT) whose lines come
    // after each copy.
    const QString &lastFile() const { return m_lastFile; }
    // A file's name with the folder it was named in, unless it is a full
    // path already (/FP, /MT).
    QString folderOf(const QString &name) const;
    // The last job's summary (a command of several steps runs several jobs).
    const RunSummary &summary() const { return m_summary; }
    int jobs() const { return m_jobs; }

    // The errors in order, at most MaxKeptErrors; errorLines() counts all.
    const QList<RunError> &errors() const { return m_errors; }
    qint64 errorLines() const { return m_errorLines; }
    // How many of errors() have their message (the last may wait for it).
    qsizetype completeErrors() const
    {
        return m_errors.size() - (m_errorState == ErrorState::WantMessage && m_lastErrorKept ? 1 : 0);
    }
    static constexpr qsizetype MaxKeptErrors = 5000;

    // The lines finished since the last call, as a console keeps them:
    // percentages written over a line are left out. At most MaxPendingLines
    // wait; older ones are dropped (droppedLines() counts them).
    QStringList takeLines();
    qint64 droppedLines() const { return m_droppedLines; }
    // Called with every line as it is finished, none dropped (for keeping
    // the whole output elsewhere).
    void setLineSink(std::function<void(const QString &line)> sink) { m_sink = std::move(sink); }
    static constexpr qsizetype MaxPendingLines = 5000;
    qint64 lineCount() const { return m_lineCount; }

private:
    enum class Part : quint8 { Start, Header, Body, Summary };
    enum class EntryKind : quint8 { None, Folder, File };

    // A piece of text between line breaks and returns; endsLine when a line
    // feed ended it.
    void segment(QStringView text, bool endsLine);
    void line(QStringView text);
    bool errorLine(QStringView text);
    EntryKind entry(QStringView text);
    void summaryLine(QStringView text);
    void copyEnded();
    void folderEnded();
    void errorDecided(bool retried);
    void keepLine(QString text);

    Part m_part = Part::Start;
    int m_headerDashes = 0;
    QString m_partial;      // of a segment not yet ended
    bool m_crPending = false; // a carriage return ended the last piece: a line feed may follow
    bool m_lineHasText = false; // the line being written has shown text before a return

    RunCounts m_counts;
    CurrentCopy m_current;
    QString m_lastFile;
    QString m_folder;           // of the last folder line
    qint64 m_folderFiles = -1;  // the count of the folder being walked
    qint64 m_folderHandled = 0; // its files named so far

    // An error waits for its message, then for what follows it.
    enum class ErrorState : quint8 { None, WantMessage, WantRetry };
    ErrorState m_errorState = ErrorState::None;
    qint64 m_failedCopySize = -1; // the size of the copy the error struck
    QList<RunError> m_errors;
    bool m_lastErrorKept = false;
    qint64 m_errorLines = 0;

    RunSummary m_summary;
    RunSummary m_reading; // the table being read
    SummaryTableReader m_table;
    int m_jobs = 0;

    QStringList m_pending;
    std::function<void(const QString &)> m_sink;
    qint64 m_droppedLines = 0;
    qint64 m_lineCount = 0;
};
