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
    QString productName; // the About window's link: a web address, or a document relative to the program's folder
};

// Read at run time: from the executable's version resource on Windows, from
// the values built into the program elsewhere (or when the resource is missing).
ProgramVersion ReadProgramVersion();

// "<description> version <major>.<minor>.<revision> <comments>", numbers in
// decimal without leading zeros.
QString VersionLine(const ProgramVersion &version);

// What the About window's link shows: a web address whole, a document (the
// README installed with the program) by its file name.
QString LinkCaption(const QString &link);
// What a click on it opens: a web address as it is, a document by its full
// path, found from the program's folder.
QString LinkTarget(const QString &link, const QString &programFolder);
