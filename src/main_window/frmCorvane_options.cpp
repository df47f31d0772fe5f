#include "main_window/frmCorvane.h"

#include "command/CommandBuilder.h"
#include "main_window/Controls.h"

// The option controls and the command box. The command line is composed in
// command/ (BuildCommandLine), a pure function that never sees a widget: the
// window only answers its reads from the controls (OptionReader) and shows
// what it returns. UpdateCommandLine is that hand-over, so it lives here with
// the window, beside the interlocks, the other thing every option change runs.

qint16 frmCorvane::checkValue(QLatin1StringView name) const { return checkValueOf(m_byName.value(name)); }

QString frmCorvane::text(QLatin1StringView name) const { return textOf(m_byName.value(name)); }

void frmCorvane::UpdateCommandLine()
{
    if (m_rebuildHeld)
        return;
    setTextOf(m_byName.value(QLatin1StringView("txtCommandLine")), BuildCommandLine(*this));
}

QString frmCorvane::ParmStr(const QString &sCmd, const QString &sValue) { return ::ParmStr(sCmd, sValue); }

// ---- Interlocks: dependents follow their master, values stay as they are.

void frmCorvane::chkSubdirectories_Click()
{
    const bool on = checkValue(QLatin1StringView("chkSubdirectories")) != 0;
    QWidget *empty = control(QLatin1StringView("chkEmpty"));
    QWidget *levels = control(QLatin1StringView("txtLevels"));
    empty->setEnabled(on);
    levels->setEnabled(empty->isEnabled());
    control(QLatin1StringView("lblLevels"))->setEnabled(levels->isEnabled());
    UpdateCommandLine();
}

void frmCorvane::chkMoveFiles_Click()
{
    control(QLatin1StringView("chkMoveFolders"))->setEnabled(checkValue(QLatin1StringView("chkMoveFiles")) != 0);
    UpdateCommandLine();
}

void frmCorvane::chkSourceArchiveOnly_Click()
{
    control(QLatin1StringView("chkSourceArchiveReset"))
        ->setEnabled(checkValue(QLatin1StringView("chkSourceArchiveOnly")) != 0);
    UpdateCommandLine();
}

void frmCorvane::chkThreadsEnable_Click()
{
    const bool on = checkValue(QLatin1StringView("chkThreadsEnable")) != 0;
    control(QLatin1StringView("txtThreadsCount"))->setEnabled(on);
    control(QLatin1StringView("lblThreadsCount"))->setEnabled(on);
    UpdateCommandLine();
}

void frmCorvane::txtLogFile_Change()
{
    QWidget *append = control(QLatin1StringView("chkLogAppend"));
    QWidget *console = control(QLatin1StringView("chkLogShowInConsole"));
    append->setEnabled(!text(QLatin1StringView("txtLogFile")).isEmpty());
    console->setEnabled(append->isEnabled());
    control(QLatin1StringView("chkLogUnicode"))->setEnabled(console->isEnabled());
    UpdateCommandLine();
}
