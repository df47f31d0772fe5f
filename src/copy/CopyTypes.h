#pragma once

// The records that pass between the parts of corvane-copy: what the walk saw
// of one name on each side, what the decision made of it, what the engine
// tells the report, and the counts of the summary.
//
// Plain C++ only: a name is a std::string of BYTES exactly as the file system
// gave them (never re-encoded), and nothing here allocates per file beyond the
// names themselves.

#include <array>
#include <cstdint>
#include <string>

namespace copy {

// ---------------------------------------------------------------------------
// One side of one name, as lstat/statx saw it.

enum class EntryKind : uint8_t { Missing, File, Directory, Other };

// DOS attribute bits, with the values of Windows' FILE_ATTRIBUTE_* constants,
// so that user.DOSATTRIB and the report agree with Windows.
namespace Attr {
constexpr uint16_t ReadOnly = 0x0001;          // R
constexpr uint16_t Hidden = 0x0002;            // H
constexpr uint16_t System = 0x0004;            // S
constexpr uint16_t Directory = 0x0010;
constexpr uint16_t Archive = 0x0020;           // A
constexpr uint16_t Normal = 0x0080;
constexpr uint16_t Temporary = 0x0100;         // T
constexpr uint16_t Sparse = 0x0200;
constexpr uint16_t ReparsePoint = 0x0400;
constexpr uint16_t Compressed = 0x0800;        // C
constexpr uint16_t Offline = 0x1000;           // O
constexpr uint16_t NotContentIndexed = 0x2000; // N
constexpr uint16_t Encrypted = 0x4000;         // E
} // namespace Attr

struct Entry
{
    EntryKind kind = EntryKind::Missing;
    bool isLink = false;          // a symbolic link: kind tells what it points to, Other when dangling
    uint64_t size = 0;
    int64_t mtimeNs = 0;          // since the epoch, UTC
    int64_t atimeNs = 0;          // last access, for /MAXLAD /MINLAD
    uint16_t attributes = 0;      // Attr bits, when known
    bool attributesKnown = false; // read only when the decision needs them (Classifier says when)
};

// ---------------------------------------------------------------------------
// The decision about one name.

// Robocopy's file classes. Mismatched: a file on one side faces a folder on
// the other.
enum class FileClass : uint8_t { Lonely, Same, Tweaked, Changed, Newer, Older, Extra, Mismatched };

enum class Action : uint8_t {
    Skip,          // nothing to do (same, excluded class, filtered out)
    Copy,          // copy the source over the destination (or create it)
    Report,        // an extra or mismatched destination entry, left alone
    Purge,         // delete the extra destination entry (a folder with its tree)
};

// The word a report line shows. Copied entries in leading caps, anomalies in
// caps with a star, skipped ones in lower case (shown only with /V).
enum class Tag : uint8_t {
    None,           // an existing folder: its line has no tag
    NewFile,        // "New File"
    Newer,          // "Newer"
    Older,          // "Older"
    Changed,        // "Changed"
    Tweaked,        // "Tweaked"
    Same,           // "Same" (copied under /IS)
    NewDir,         // "New Dir"
    ExtraFile,      // "*EXTRA File"
    ExtraDir,       // "*EXTRA Dir"
    Mismatch,       // "*MISMATCH"
    LonelySkipped,  // "lonely"
    NewerSkipped,   // "newer"
    OlderSkipped,   // "older"
    ChangedSkipped, // "changed"
    TweakedSkipped, // "tweaked"
    SameSkipped,    // "same"
    Attrib,         // "attrib": /A /M /IA /XA
    Named,          // "named": not among the file names, or /XF /XD
    Large,          // "large": /MAX
    Small,          // "small": /MIN
    TooOld,         // "too old": /MAXAGE /MAXLAD
    TooNew,         // "too new": /MINAGE /MINLAD
    Junction,       // "junction": /XJ /XJD /XJF
    Modified,       // "modified"
};

struct FileDecision
{
    FileClass cls = FileClass::Lonely;
    Action action = Action::Skip;
    Tag tag = Tag::None;
    bool deleteSource = false; // /MOV /MOVE: delete the source once its copy is complete and flushed
    bool listed = true;        // shown and counted at all (an extra left out by the file names or /XX is not)
    bool fixTimes = false;     // /TIMFIX: set the destination's times on a skipped file that exists on both sides
};

// What becomes of a folder the walk meets.
enum class DirClass : uint8_t {
    Lonely,     // only in the source: "New Dir"
    Existing,   // on both sides
    Extra,      // only in the destination: "*EXTRA Dir"
    Mismatched, // a folder faces a file: "*MISMATCH"
    Excluded,   // /XD, /LEV, /XJD, /XJ: not entered
};

enum class DirAction : uint8_t {
    Enter,          // walk it (an existing destination folder, or none yet under /S)
    Create,         // create the destination folder, then walk it
    Skip,           // not entered
    Report,         // extra or mismatched, left alone
    Purge,          // delete the extra destination tree
};

struct DirDecision
{
    DirClass cls = DirClass::Lonely;
    DirAction action = DirAction::Skip;
    Tag tag = Tag::None;
    bool deleteSource = false; // /MOVE: remove the source folder once it is empty
    bool listed = true;
    bool createOnDemand = false; // /S: create the folder only when a file is copied into its tree
};

// ---------------------------------------------------------------------------
// What the engine tells the report. Workers never print: they hand events to
// the one sink, which formats each into whole lines.

enum class EventKind : uint8_t {
    Dir,      // one folder line: new, existing, extra, mismatched or (with /V) excluded
    File,     // one file line: copied, skipped, extra, mismatched; with /MT after the copy
    Progress, // the share of the current file copied so far (not under /NP or /MT)
    Error,    // a failed operation: its line, the system's message, then the retry or limit line
    Note,     // a NOTE line of its own text
};

// What was being done when an error struck; the report words each as Robocopy does.
enum class ErrorAction : uint8_t {
    CopyingFile,                   // "Copying File"
    CreatingDestinationDirectory,  // "Creating Destination Directory"
    DeletingExtraFile,             // "Deleting Extra File"
    DeletingExtraDirectory,        // "Deleting Extra Directory"
    ScanningSourceDirectory,       // "Scanning Source Directory"
    ScanningDestinationDirectory,  // "Scanning Destination Directory"
    AccessingSourceDirectory,      // "Accessing Source Directory"
    AccessingDestinationDirectory, // "Accessing Destination Directory"
    DeletingSourceFile,            // "Deleting Source File" (/MOV, /MOVE)
    DeletingSourceDirectory,       // "Deleting Source Directory" (/MOVE)
    ChangingFileAttributes,        // "Changing File Attributes"
    SettingFileTimes,              // "Setting File Times"
    CopyingSecurity,               // "Copying NTFS Security to Destination File"
    OpeningLogFile,                // "Opening Log File"
    WritingLogFile,                // "Writing Log File"
};

enum class RetryState : uint8_t {
    None,          // no retry line (an error that is not retried)
    Waiting,       // "Waiting 30 seconds... Retrying..."
    LimitExceeded, // "ERROR: RETRY LIMIT EXCEEDED."
};

struct Event
{
    EventKind kind = EventKind::File;
    Tag tag = Tag::None;
    FileClass cls = FileClass::Lonely;
    uint64_t size = 0;
    int64_t mtimeNs = 0;   // the source file's time, for /TS
    int64_t count = 0;     // Dir: the files of the folder the file names select; -1 for an extra folder
    std::string dir;       // the folder's full path, ending in '/', as bytes
    std::string name;      // File: the entry's name within dir, as bytes (empty for a Dir event)
    // Progress: thousandths of the file copied (1000 = done).
    uint32_t permille = 0;
    // Error: the errno value, what was being done, and what comes next.
    int error = 0;
    ErrorAction action = ErrorAction::CopyingFile;
    RetryState retry = RetryState::None;
    uint32_t waitSeconds = 0;
    int64_t timeNs = 0;    // Error: when it happened; File under /ETA: when the copy started (wall clock, since the epoch)
    int64_t etaNs = 0;     // File under /ETA: when the copy is expected to end (0: not known)
    std::string message;   // Error: the system's text for error; Note: the note itself
};

// ---------------------------------------------------------------------------
// The summary: rows Dirs, Files, Bytes; columns as Robocopy prints them.

enum class Column : uint8_t { Total, Copied, Skipped, Mismatch, Failed, Extras };
constexpr int ColumnCount = 6;

struct Counts
{
    std::array<uint64_t, ColumnCount> value{};

    uint64_t &operator[](Column c) { return value[static_cast<size_t>(c)]; }
    uint64_t operator[](Column c) const { return value[static_cast<size_t>(c)]; }
    Counts &operator+=(const Counts &other)
    {
        for (size_t i = 0; i < value.size(); ++i)
            value[i] += other.value[i];
        return *this;
    }
    bool operator==(const Counts &) const = default;
};

struct Totals
{
    Counts dirs;
    Counts files;
    Counts bytes;
    // Times row: the whole run, copying (without retry waits), retry waits,
    // and the rest (scanning, deleting extras).
    int64_t totalNs = 0;
    int64_t copiedNs = 0;
    int64_t failedNs = 0;
    int64_t extrasNs = 0;
    bool serious = false; // a fatal error: usage, no source, destination not creatable

    Totals &operator+=(const Totals &other)
    {
        dirs += other.dirs;
        files += other.files;
        bytes += other.bytes;
        totalNs += other.totalNs;
        copiedNs += other.copiedNs;
        failedNs += other.failedNs;
        extrasNs += other.extrasNs;
        serious = serious || other.serious;
        return *this;
    }
};

// Robocopy's exit code, a bit map: 1 files copied, 2 extras, 4 mismatches,
// 8 failures, 16 a serious error.
namespace ExitBit {
constexpr int Copied = 1;
constexpr int Extra = 2;
constexpr int Mismatch = 4;
constexpr int Failed = 8;
constexpr int Serious = 16;
} // namespace ExitBit

int ExitCode(const Totals &totals);

// The clock of a run: "now" as the age filters see it, and the local time
// zone, in which /MAXAGE:YYYYMMDD dates and the report's times are read.
struct RunClock
{
    int64_t nowNs = 0;             // wall clock at the start of the run, UTC
    int32_t utcOffsetSeconds = 0;  // local time minus UTC at that moment
    // Local midnight at the start of a date YYYYMMDD, in ns since the epoch
    // (the engine passes one that knows the time zone's rules); without it
    // the offset above is used for every date.
    int64_t (*localMidnightNs)(uint32_t yyyymmdd) = nullptr;
};

struct CopyOptions; // CopyOptions.h

} // namespace copy
