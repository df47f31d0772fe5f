#include "main_window/frmCorvane.h"

#include "command/CommandBuilder.h"
#include "main_window/Controls.h"

// The option controls and the command box. The command line is composed in
// command/ (BuildCommandLine), a pure function that never sees a widget: the
// window only answers its reads from the controls (OptionReader) and shows
// what it returns. UpdateCommandLine is that hand-over, so it lives here with
// the window, beside the interlocks, the other thing every option change runs.

qint16 frmCorvane::checkValue(QLatin1StringView name) const
{
    QWidget *w = control(name);
    Q_ASSERT_X(controlKind(w) == ControlKind::CheckBox, "frmCorvane::checkValue", "no check box of that name");
    return checkValueOf(w);
}

QString frmCorvane::text(QLatin1StringView name) const
{
    QWidget *w = control(name);
    Q_ASSERT_X(controlKind(w) == ControlKind::TextBox || controlKind(w) == ControlKind::ComboBox, "frmCorvane::text",
               "no text or combo box of that name");
    return textOf(w);
}

void frmCorvane::UpdateCommandLine()
{
    if (m_rebuildHeld)
        return;
    setTextOf(control("txtCommandLine"), BuildCommandLine(*this));
}

QString frmCorvane::ParmStr(const QString &sCmd, const QString &sValue) { return ::ParmStr(sCmd, sValue); }

// ---- Interlocks: dependents follow their master, values stay as they are.

void frmCorvane::chkSubdirectories_Click()
{
    const bool on = checkValue("chkSubdirectories") != 0;
    QWidget *empty = control("chkEmpty");
    QWidget *levels = control("txtLevels");
    empty->setEnabled(on);
    levels->setEnabled(empty->isEnabled());
    control("lblLevels")->setEnabled(levels->isEnabled());
    UpdateCommandLine();
}

void frmCorvane::chkMoveFiles_Click()
{
    control("chkMoveFolders")->setEnabled(checkValue("chkMoveFiles") != 0);
    UpdateCommandLine();
}

void frmCorvane::chkSourceArchiveOnly_Click()
{
    control("chkSourceArchiveReset")
        ->setEnabled(checkValue("chkSourceArchiveOnly") != 0);
    UpdateCommandLine();
}

void frmCorvane::chkThreadsEnable_Click()
{
    const bool on = checkValue("chkThreadsEnable") != 0;
    control("txtThreadsCount")->setEnabled(on);
    control("lblThreadsCount")->setEnabled(on);
    UpdateCommandLine();
}

void frmCorvane::txtLogFile_Change()
{
    QWidget *append = control("chkLogAppend");
    QWidget *console = control("chkLogShowInConsole");
    append->setEnabled(!text("txtLogFile").isEmpty());
    console->setEnabled(append->isEnabled());
    control("chkLogUnicode")->setEnabled(console->isEnabled());
    UpdateCommandLine();
}
