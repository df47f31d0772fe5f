#pragma once

#include "command/ListingCommand.h"

#include <QString>
#include <QStringList>

#include <array>

// Reading what Robocopy printed for a listing (/L /NP /FP) and turning it
// into what the user is asked about. Plain text in, plain values out: no
// process, no widget.
//
// Only the layout is relied on, never the words, so that a Robocopy in
// another language reads the same: the summary table is found by its shape
// (a label, a colon and six numbers, three rows in a row: folders, files,
// bytes) and read by column; a file's line is a tag, a size and a path; only
// the "*EXTRA" tag of the entries the destination holds alone is matched.

// The columns of the summary table, in Robocopy's order.
enum SummaryColumn : int { Total, Copied, Skipped, Mismatch, Failed, Extras, SummaryColumns };
using SummaryRow = std::array<qint64, SummaryColumns>;

// The shapes of Robocopy's report lines, read alike by the listing and by
// the run window (run/OutputReader.h).
// A rule: dashes alone.
bool IsDashLine(QStringView line);
// A row of the summary table, "label : n n n n n n", the numbers perhaps
// scaled ("3.9 k"); plain when every one is a whole number without a scale
// (the folders and files rows).
bool ReadSummaryRow(QStringView line, SummaryRow &row, bool &plain);
// The scale of the unit letter after a size: 1024 for "k", then "m", "g",
// "t" in either case; 0 for anything else.
qint64 SizeUnitScale(QStringView unit);

// Finds the summary table by its shape as lines come: three rows in a row
// (folders, files, bytes), the first two of whole numbers.
class SummaryTableReader
{
public:
    // True when the line completed a table; its rows are in rows() then.
    bool addLine(QStringView line);
    const std::array<SummaryRow, 3> &rows() const { return m_rows; }

private:
    int m_inARow = 0;
    std::array<SummaryRow, 3> m_rows{};
};

// An entry of the listing that the run would remove.
struct ListedEntry
{
    QString path;
    bool folder = false;
    friend bool operator==(const ListedEntry &, const ListedEntry &) = default;
};

// How many paths of each kind are kept; the counts of the summary go on
// beyond them. Enough to read through, bounded for a tree of millions.
constexpr qsizetype MaxListedPaths = 10000;

struct ListingReading
{
    bool readable = false; // a whole summary table was found
    SummaryRow dirs{};
    SummaryRow files{};
    SummaryRow bytes{}; // in bytes; scaled sizes ("3.9 k") are rounded
    QList<ListedEntry> extras;     // "*EXTRA File" and "*EXTRA Dir" lines, in order
    QStringList copiedFiles;       // files the run would copy, by their full paths
    qsizetype extraLines = 0;      // all of them, kept or not
    qsizetype copiedLines = 0;
    // The header's "Options" line, where Robocopy names the switches a job
    // file added. headerFound is false when no header was printed.
    bool headerFound = false;
    bool headerPurges = false; // /MIR or /PURGE
    bool headerMoves = false;  // /MOV or /MOVE
};

// Reads a listing line by line, as it arrives; nothing of it is kept but
// what the reading holds.
class ListingReader
{
public:
    // One line, without its line break (a trailing carriage return is dropped).
    void addLine(QStringView line);
    const ListingReading &reading() const { return m_reading; }

private:
    enum class Part : quint8 { Start, Header, Body, Summary };
    // True when the line is an entry of the listing (a folder's or a file's).
    bool bodyLine(QStringView line);
    void summaryLine(QStringView line);

    ListingReading m_reading;
    Part m_part = Part::Start;
    int m_headerDashes = 0;
    // Rows of the table being read: folders, files, bytes.
    SummaryTableReader m_table;
};

// The reading of a whole listing at once.
ListingReading ReadListing(const QString &output);

// What the run would remove, from the command's switches and its listing.
struct Preview
{
    qint64 deletedFiles = 0;
    qint64 deletedFolders = 0;
    qint64 deletedBytes = 0;
    qint64 movedFiles = 0;
    qint64 movedBytes = 0;
    QList<ListedEntry> deleted; // as the listing names them, at most MaxListedPaths
    QStringList moved;
    qsizetype deletedLines = 0; // every one the listing named
    qsizetype movedLines = 0;
    bool incomplete = false;    // the listing met errors (exit bit 8): the run may remove more

    // Nothing deleted, nothing moved, and nothing unseen: the run may start.
    bool removesNothing() const;
};
Preview PreviewOf(const RunEffects &effects, const ListingReading &reading, int exitCode);

// Why a listing gave nothing to read.
enum class ListingFailure : quint8 {
    CannotMake,   // the command's words cannot carry the listing's switches
    NotFound,     // no Robocopy to run
    CannotStart,  // found, but it did not start
    EndedAbnormally, // killed or crashed
    SeriousError, // exit code with bit 16
    Unreadable,   // no summary table in the output
};

// The texts of the dialog that asks before the run.
struct PreviewText
{
    QString message;       // the counts, or why there are none
    QStringList firstPaths; // the first lines of the list, shown at once
    QString details;       // behind "Show Details": every path, or the listing's output
};
constexpr qsizetype FirstPathsShown = 8;
PreviewText PreviewTextOf(const Preview &preview);
PreviewText FailureTextOf(ListingFailure failure, int exitCode, const QString &output);

// "1 file", "2 files", with the system's digit grouping.
QString CountOf(qint64 n, const QString &one, const QString &many);
// A size in bytes as "512 bytes", "3.9 kB" (1 kB = 1024 bytes, as Robocopy counts).
QString SizeOf(qint64 bytes);
