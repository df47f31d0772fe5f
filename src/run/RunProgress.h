#pragma once

#include "run/OutputReader.h"

#include <QString>

#include <deque>
#include <optional>

// Where a run stands against a listing of the same command, as the run
// window shows it: pure arithmetic on counts and times, no widget.
//
// Bytes and entries count together, so that a run of many small files, or
// one that only deletes, moves as steadily as one of a few big files: each
// entry weighs as much as ItemWeightBytes of data.
constexpr qint64 ItemWeightBytes = 64 * 1024;

// The work of the run, from its listing.
struct RunTotals
{
    qint64 files = 0; // to copy
    qint64 bytes = 0; // of the files to copy
    qint64 other = 0; // other entries the run names: extra files and folders, mismatches
    friend bool operator==(const RunTotals &, const RunTotals &) = default;
};
RunTotals TotalsOf(const ListingReading &listing);

// What the run's switches make of its report. Read from one Robocopy
// command (a program word and its arguments); the last of repeated log
// switches counts.
struct ReportSwitches
{
    bool files = true;  // file lines (not under /NFL)
    bool sizes = true;  // and their sizes (not under /NS)
    QString logFile;    // /LOG:, /LOG+:, /UNILOG:, /UNILOG+: as written; empty without
    bool unicodeLog = false; // /UNILOG: the log is in UTF-16
    bool appendLog = false;  // /LOG+: or /UNILOG+:
    bool tee = false;        // /TEE: the console shows the report too
    // The report reaches the console (no log, or /TEE).
    bool onConsole() const { return logFile.isEmpty() || tee; }
};
ReportSwitches ReportSwitchesOf(QStringView command);

struct RunStanding
{
    std::optional<RunTotals> totals; // none while the listing runs, or when there is none
    RunCounts counts;
    CurrentCopy current;
    ReportSwitches shows;
    // Bytes the run wrote as the system counts them, for a report that
    // shows no sizes; -1 when unknown.
    qint64 writtenBytes = -1;

    // Bytes done: from the report's sizes (with the part of the copy under
    // way), else as written; -1 when neither is known.
    qint64 bytesDone() const;
    // Entries done: copied, failed, extra and mismatched.
    qint64 itemsDone() const;
    // The work done and the whole, in weighted bytes; whole is 0 when unknown.
    qint64 unitsDone() const;
    qint64 unitsWhole() const;
};

// The share done in per mille, or -1 when it cannot be told (no totals yet,
// nothing the report shows, or nothing to do).
int PermilleOf(const RunStanding &s);

// "1,234 of 20,000 files, 12.3 of 78.1 MB", or while counting
// "Counting… 1,234 files, 12.3 MB so far". Extra entries follow when there
// are any.
QString StandingText(const RunStanding &s, bool counting);

// A size as the run window shows it: "12.3 MB", "1.25 GB" (of 1,048,576 and
// 1,073,741,824 bytes, as Robocopy counts).
QString MegabytesText(qint64 bytes);

// Speed and time left from samples of the work done over the running time
// (pauses left out): speed over the last SpeedWindowMs, time left over the
// last TimeLeftWindowMs, so that one slow file does not swing it.
class RateMeter
{
public:
    static constexpr qint64 SpeedWindowMs = 5000;
    static constexpr qint64 TimeLeftWindowMs = 60000;
    static constexpr qint64 MinimumMs = 3000; // before this no time left is told

    void add(qint64 ms, qint64 bytes, qint64 units);
    // Bytes per second, or nothing before two samples.
    std::optional<double> bytesPerSecond() const;
    // Seconds left for the units still to do, or nothing while that cannot
    // be told (too early, nothing moving).
    std::optional<qint64> secondsLeft(qint64 unitsLeft) const;

private:
    struct Sample
    {
        qint64 ms;
        qint64 bytes;
        qint64 units;
    };
    // The oldest sample no older than window before the last one.
    const Sample &since(qint64 window) const;
    std::deque<Sample> m_samples;
};

QString SpeedText(double bytesPerSecond);  // "12.3 MB/s", "850 KB/s"
QString TimeLeftText(qint64 seconds);      // "45 s left", "12 min left", "2 h 05 min left"
