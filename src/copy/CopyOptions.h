#pragma once

// Every switch of a Robocopy command line as a typed field, with Robocopy's
// defaults. Paths and names are bytes, as the command line gave them, with
// '\' already read as '/'.

#include "copy/CopyTypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace copy {

// Letters of /COPY: and /DCOPY:.
namespace CopyFlag {
constexpr uint8_t Data = 0x01;       // D
constexpr uint8_t Attributes = 0x02; // A
constexpr uint8_t Times = 0x04;      // T
constexpr uint8_t Security = 0x08;   // S: POSIX ACLs
constexpr uint8_t Owner = 0x10;      // O: owner and group, where allowed
constexpr uint8_t Auditing = 0x20;   // U: nothing on Linux means the same
constexpr uint8_t ExtendedAttributes = 0x40; // E (/DCOPY:E)
constexpr uint8_t SkipAltStreams = 0x80;     // X
} // namespace CopyFlag

// /MAXAGE /MINAGE /MAXLAD /MINLAD: a number below 1900 counts days before the
// run, anything else is a date YYYYMMDD (local midnight).
struct AgeLimit
{
    bool set = false;
    bool isDate = false;
    uint32_t days = 0;   // when !isDate
    uint32_t date = 0;   // YYYYMMDD when isDate
    bool operator==(const AgeLimit &) const = default;
};

// /RH:hhmm-hhmm, as minutes after midnight.
struct RunHours
{
    bool set = false;
    uint16_t startMinute = 0;
    uint16_t endMinute = 0;
    bool operator==(const RunHours &) const = default;
};

struct CopyOptions
{
    // Folders and names.
    std::string source;                    // /SD: in a job
    std::string destination;               // /DD: in a job
    std::vector<std::string> fileNames;    // empty: every name ("*.*")
    std::vector<std::string> excludeFiles; // /XF
    std::vector<std::string> excludeDirs;  // /XD

    // Tree.
    bool subdirectories = false; // /S or /E
    bool emptyDirectories = false; // /E
    uint32_t levels = 0;         // /LEV:n, 0 for no limit

    // How files are copied.
    bool restartable = false;   // /Z (and /ZB)
    bool backup = false;        // /B (and /ZB)
    bool unbuffered = false;    // /J
    bool efsRaw = false;        // /EFSRAW
    uint8_t copyFlags = CopyFlag::Data | CopyFlag::Attributes | CopyFlag::Times;   // /COPY:DAT
    uint8_t dirCopyFlags = CopyFlag::Data | CopyFlag::Attributes;                  // /DCOPY:DA
    bool noOffload = false;     // /NOOFFLOAD
    bool noClone = false;       // /NOCLONE
    bool secFix = false;        // /SECFIX
    bool timFix = false;        // /TIMFIX
    bool noCopy = false;        // /NOCOPY
    bool moveFiles = false;     // /MOV (and /MOVE)
    bool moveDirs = false;      // /MOVE
    bool purge = false;         // /PURGE (and /MIR)
    bool mirror = false;        // /MIR
    uint16_t addAttributes = 0;    // /A+: Attr bits
    uint16_t removeAttributes = 0; // /A-:
    bool create = false;        // /CREATE
    bool fatNames = false;      // /FAT
    bool fatTimes = false;      // /FFT
    bool longPaths = false;     // /256
    uint32_t monitorChanges = 0; // /MON:n
    uint32_t monitorMinutes = 0; // /MOT:m
    RunHours runHours;          // /RH:hhmm-hhmm
    bool perFileRunHours = false; // /PF
    uint32_t interPacketGapMs = 0; // /IPG:n
    bool symbolicLinks = false; // /SL
    bool junctionsAsJunctions = false; // /SJ
    bool sparse = false;        // /SPARSE: holes of a sparse file stay holes
    uint32_t threads = 0;       // /MT[:n], 0 when not given (one at a time); /MT alone is 8

    // Selection.
    uint16_t includeAttributes = 0; // /IA:
    uint16_t excludeAttributes = 0; // /XA:
    bool archiveOnly = false;   // /A
    bool archiveReset = false;  // /M
    bool excludeJunctions = false;     // /XJ
    bool excludeDirJunctions = false;  // /XJD
    bool excludeFileJunctions = false; // /XJF
    bool dstCompensation = false;      // /DST
    bool excludeChanged = false; // /XC
    bool excludeNewer = false;   // /XN
    bool excludeOlder = false;   // /XO
    bool excludeExtra = false;   // /XX
    bool excludeLonely = false;  // /XL
    bool includeSame = false;    // /IS
    bool includeTweaked = false; // /IT
    bool includeModified = false; // /IM
    std::optional<uint64_t> maxSize; // /MAX:n bytes
    std::optional<uint64_t> minSize; // /MIN:n bytes
    AgeLimit maxAge;  // /MAXAGE:
    AgeLimit minAge;  // /MINAGE:
    AgeLimit maxLad;  // /MAXLAD:
    AgeLimit minLad;  // /MINLAD:

    // Retries.
    uint32_t retries = 1000000; // /R:n
    uint32_t waitSeconds = 30;  // /W:n
    bool saveRetries = false;   // /REG
    bool waitForShare = false;  // /TBD

    // Report.
    bool listOnly = false;      // /L
    bool reportExtra = false;   // /X
    bool verbose = false;       // /V
    bool timestamps = false;    // /TS
    bool fullPaths = false;     // /FP
    bool bytes = false;         // /BYTES
    bool noClass = false;       // /NC
    bool noSize = false;        // /NS
    bool noDirList = false;     // /NDL
    bool noFileList = false;    // /NFL
    bool noHeader = false;      // /NJH
    bool noSummary = false;     // /NJS
    bool noProgress = false;    // /NP
    bool eta = false;           // /ETA
    bool unicodeOutput = false; // /UNICODE
    bool tee = false;           // /TEE
    std::string logFile;        // /LOG: /LOG+: /UNILOG: /UNILOG+:
    bool logAppend = false;
    bool logUnicode = false;

    // Jobs.
    std::vector<std::string> jobs; // /JOB: files read, in order
    std::string saveJob;           // /SAVE:
    bool quit = false;             // /QUIT
    bool noSource = false;         // /NOSD
    bool noDestination = false;    // /NODD

    // Switches accepted that change nothing here, in the order given, as
    // written in the report's NOTE line (upper case, with their values).
    std::vector<std::string> withoutEffect;
    // Other NOTE lines of the reading (a value replaced by its default).
    std::vector<std::string> notes;
};

// Reads a job file for the reading of a command line: true with the file's
// bytes, or false with the system's reason. The engine reads; the core parses.
using JobFileReader = std::function<bool(const std::string &path, std::string &contents, std::string &error)>;

struct ParsedCommand
{
    CopyOptions options;   // for the run: the job files, then the command line
    CopyOptions saved;     // what /SAVE: writes: the same without the switches after /SAVE
    bool usage = false;    // /? or nothing at all: error holds how to call the program (exit 16)
    // A usage error (exit 16): the whole text to print, such as Robocopy's
    // ERROR : Invalid Parameter #n : "word" with its short usage, or the usage.
    std::string error;
    int errorIndex = 0;    // the n of Invalid Parameter #n (1 = the first argument), 0 for other errors
};

// The arguments of corvane-copy (argv without the program's name, as bytes)
// read by Robocopy's grammar: folders and file names where they stand, also
// after switches; switches in any order and letter case; /XF, /XD and /IF
// take the names up to the next switch; /JOB: files merge in their order
// with the command line last; a path with '\' is read with '/', and a
// relative one against cwd. A word such as "/data", which Robocopy would
// take for a switch it does not know, is a folder when isFolder says that it
// names an existing one (the engine asks the file system); "/data/" always is.
ParsedCommand ParseArguments(const std::vector<std::string> &args, const std::string &cwd,
                             const JobFileReader &readJob,
                             const std::function<bool(const std::string &path)> &isFolder = {});

// The name a job is saved under or read from: ".RCJ" added to a name without
// an extension.
std::string JobFilePath(const std::string &name);

// The text of a job file as /SAVE: writes it, in the layout Robocopy uses,
// which File > Open Command File reads back into the window.
std::string JobFileText(const CopyOptions &options, const std::string &jobPath, const std::string &user,
                        int64_t createdNs, int32_t utcOffsetSeconds);

} // namespace copy
