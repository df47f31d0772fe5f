#include "copy/CopyTypes.h"

namespace copy {

int ExitCode(const Totals &totals)
{
    int code = 0;
    if (totals.files[Column::Copied] > 0)
        code |= ExitBit::Copied;
    if (totals.files[Column::Extras] > 0 || totals.dirs[Column::Extras] > 0)
        code |= ExitBit::Extra;
    if (totals.files[Column::Mismatch] > 0 || totals.dirs[Column::Mismatch] > 0)
        code |= ExitBit::Mismatch;
    if (totals.files[Column::Failed] > 0 || totals.dirs[Column::Failed] > 0)
        code |= ExitBit::Failed;
    if (totals.serious)
        code |= ExitBit::Serious;
    return code;
}

} // namespace copy
