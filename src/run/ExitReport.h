#pragma once

#include <QString>

// The one line that tells what Robocopy's exit code means: the line of the
// highest of the bits 1, 2, 4, 8 and 16 that is set, followed by CR LF, or
// "Completed with no errors" when none is. Negative run results (the process
// could not be started or watched) carry bit 16 and so read as a serious error.
QString ExitReport(int runResult);
