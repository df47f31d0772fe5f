#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Before a run that can delete or move, Corvane asks Robocopy for a listing
// of the same command (/L: nothing is copied, deleted or moved) and shows
// what the run would remove. These read one Robocopy command: a program
// word and its arguments, as cmd.exe hands them on (one step, carets gone).

// What the command's own switches say it may do. Switch names are matched
// as whole words in any letter case.
struct RunEffects
{
    bool purges = false;   // /MIR or /PURGE: extra destination entries are deleted
    bool moves = false;    // /MOV or /MOVE: copied source files are deleted
    bool job = false;      // /JOB:file, whose switches only the listing's header tells
    bool listsOnly = false; // /L or /QUIT: the run itself changes nothing

    // Whether the run needs a listing before it starts.
    bool mayRemove() const { return !listsOnly && (purges || moves || job); }
};
RunEffects ReadRunEffects(QStringView command);

// The arguments of the listing, as text to hand to Robocopy after its
// program name: the command's arguments as written, less the switches that
// would write files (/LOG... /UNILOG... /TEE /SAVE: /REG), stop or delay the
// listing (/QUIT /MON: /MOT: /RH: /PF, the retries /R: /W:) or hide what it
// must show (/NJS /NJH /NFL /NDL /NC /NS /NP /V /TS /ETA /UNICODE /FP /L), and
// then " /L /R:0 /W:0 /NP /FP". Nothing when that text would not split into
// those words (an argument whose quotes never close would swallow /L).
std::optional<QString> ListingArguments(QStringView command);

// The switches the listing always ends with, in order.
QString ListingSwitches();
