#include "main_window/frmCorvane.h"

#include "command/CommandBuilder.h"
#include "run/Scheduler.h"
#include "run/basShell.h"
#include "run/frmSchedule.h"
#include "run/frmSchedules.h"
#include "settings/CSettings.h"

#include <QFileInfo>

#include <utility>

namespace {
SchedulerSetupHook &setupHook()
{
    static SchedulerSetupHook hook;
    return hook;
}

// Beside the settings in use, where the user keeps what is the user's.
SchedulerSetup setupBeside(const QString &settingsFolder)
{
    SchedulerSetup setup;
    setup.folder = settingsFolder + QStringLiteral("/Schedules");
    setup.consoleProgram = QFileInfo(ConsoleProgram()).absoluteFilePath();
    if (setupHook())
        setupHook()(setup);
    return setup;
}
} // namespace

SchedulerSetupHook SetSchedulerSetupHook(SchedulerSetupHook hook) { return std::exchange(setupHook(), std::move(hook)); }

void frmCorvane::mnuFileSchedule_Click()
{
    Scheduler scheduler(setupBeside(store().settingsFolder()));
    frmSchedule::Ask(scheduler, OneLine(text("txtCommandLine")), ScheduleSpec{}, QString(), this);
}

void frmCorvane::mnuFileSchedules_Click()
{
    Scheduler scheduler(setupBeside(store().settingsFolder()));
    frmSchedules::Show(scheduler, *this);
}
