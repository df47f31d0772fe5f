#pragma once

#include <QString>

// The program's version information as the About window shows it.
struct ProgramVersion
{
    QString description;
    int major = 0;
    int minor = 0;
    int revision = 0;
    QString comments;    // a credit line
    QString productName; // the maker's web address
};

// Read at run time: from the executable's version resource on Windows, from
// the values built into the program elsewhere (or when the resource is missing).
ProgramVersion ReadProgramVersion();

// "<description> version <major>.<minor>.<revision> <comments>", numbers in
// decimal without leading zeros.
QString VersionLine(const ProgramVersion &version);
