#include "run/ExitReport.h"

QString ExitReport(int runResult)
{
    static const struct { int bit; const char *line; } kLines[] = {
        {1, "One or more files copied successfully."},
        {2, "Some Extra files or directories were detected."},
        {4, "Some Mismatched files or directories were detected."},
        {8, "Some files or directories could not be copied."},
        {16, "Serious error. Robocopy did not copy any files."},
    };
    QString report = QStringLiteral("Completed with no errors");
    for (const auto &l : kLines)
        if (runResult & l.bit)
            report = QString::fromLatin1(l.line) + QStringLiteral("\r\n");
    return report;
}
