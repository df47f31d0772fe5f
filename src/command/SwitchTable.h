#pragma once

#include <QLatin1StringView>
#include <QStringView>

#include <array>
#include <span>

// The switches of the command line and the controls behind each, in the
// order the builder writes them. The builder composes from this table and
// the reader reads commands back through it.

// One letter of a letter switch and the box that stands for it.
struct SwitchLetter
{
    char letter;
    QLatin1StringView box;
};

enum class SwitchRule : quint8 {
    Flag,              // /NAME while controls[0] is set
    Text,              // /NAME:text while the text of controls[0] is not empty
    Path,              // as Text, quoted as one argument
    List,              // /NAME and the list of controls[0] as typed
    Letters,           // /NAME:letters of the boxes set
    Subdirectories,    // names E, S; controls subdirectories, empty
    RestartableBackup, // names ZB, Z, B; controls restartable, backup
    CopyLetters,       // names COPYALL, SEC, COPY
    FolderLetters,     // names NODCOPY, DCOPY
    Move,              // names MOVE, MOV; controls files, folders
    RunHours,          // name RH; controls start, end
    ArchiveOnly,       // names M, A; controls archive only, reset
    Tee,               // name TEE; controls show in console, log file
    Log,               // names LOG, LOG+, UNILOG, UNILOG+; controls log file, append, unicode
    Threads,           // name MT; controls enable, count
};

struct SwitchSpec
{
    SwitchRule rule;
    std::array<QStringView, 4> names; // upper case, without the slash
    std::array<QLatin1StringView, 3> controls;
    std::span<const SwitchLetter> letters;
};

std::span<const SwitchSpec> switchTable();

// The fields of the items before the switches.
constexpr QLatin1StringView kSourceField("cboSource");
constexpr QLatin1StringView kDestinationField("cboDestination");
constexpr QLatin1StringView kFileNamesField("txtFilenames");
// The names of /IF: Robocopy takes the words after it up to the next switch,
// as it does for /XF and /XD; the builder writes them after "/IF:".
constexpr QLatin1StringView kIncludeFilesField("txtJobIncludeFiles");

// Letter sets of the copy switches: Robocopy's defaults, which no switch
// writes, and the two sets that have switches of their own.
constexpr QStringView kDefaultCopyLetters = u"DAT";
constexpr QStringView kDefaultFolderLetters = u"DA";
constexpr QStringView kAllCopyLetters = u"DATSOU";      // /COPYALL
constexpr QStringView kSecurityCopyLetters = u"DATS";   // /SEC

// Letters Robocopy documents for a letter switch that no box stands for:
// X (skip alternate data streams) in /COPY:, E (extended attributes) and X
// in /DCOPY:. Empty for the other rows.
struct OtherLetter
{
    char letter;
    QStringView meaning;
};
std::span<const OtherLetter> lettersWithoutOption(const SwitchSpec &row);

// Switches Robocopy knows that no control stands for.
std::span<const QStringView> switchesWithoutOption();
