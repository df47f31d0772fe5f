#include "main_window/frmCorvane.h"

#include "command/CommandBuilder.h"
#include "command/CommandFileText.h"
#include "command/CommandWords.h"
#include "command/ListingCommand.h"
#include "console/ConsoleRules.h"
#include "main_window/Controls.h"
#include "main_window/RecentFolders.h"
#include "run/ExecuteChecks.h"
#include "run/ExitReport.h"
#include "run/ListingRun.h"
#include "run/basCommonDialog.h"
#include "run/basShell.h"
#include "run/frmHelp.h"
#include "run/frmPreview.h"
#include "run/frmRun.h"
#include "tools/basTools.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>

#include <exception>
#include <optional>

namespace {
constexpr MenuName kAutoClose("mnuOptionsAutoClose");
constexpr MenuName kPreview("mnuOptionsPreview");
constexpr MenuName kShowProgress("mnuOptionsShowProgress");
const QString kSaveFilter = QStringLiteral("Batch Files (*.CMD)|*.BAT;*.CMD|Text Files (*.TXT)|*.TXT|All Files|*.*");

// Microsoft's Robocopy reference, offered when robocopy.doc is missing.
const QString kOnlineManual =
    QStringLiteral("https://learn.microsoft.com/windows-server/administration/windows-commands/robocopy");
// ShellOpen's results for a file, or a folder of its path, that is not there.
constexpr int kShellFileNotFound = 2;
constexpr int kShellPathNotFound = 3;

// The number shown for a clipboard that does not take the text.
constexpr int kClipboardFailure = 521;

// What Execute runs, Copy copies and Save As writes: the command box's text
// exactly, on one line. cmd.exe ends a command at its first line break, and a
// batch file would run each further line as a command of its own.
QString commandToHandOn(const frmCorvane &w) { return OneLine(w.text("txtCommandLine")); }
} // namespace

void frmCorvane::cmdExecute_Click()
{
    if (MultithreadingConflict(checkValue("chkThreadsEnable"), checkValue("chkEfsRaw"), text("txtDelayPer64k"))) {
        MsgBox(QStringLiteral("Multithreading cannot be used with EFS Raw or Delay Per 64 K options."), vbExclamation);
        return;
    }

    const QString commandLine = commandToHandOn(*this);
    const bool autoClose = menuItem(kAutoClose)->isChecked();
    const bool showProgress = menuItem(kShowProgress)->isChecked();
    // cmd.exe would refuse it and end with a status the report reads as
    // success, so it is refused here before anything starts. The run window
    // adds no PAUSE.
    if (const QString tooLong = TooLongToRunMessage(commandLine, autoClose || showProgress); !tooLong.isEmpty()) {
        MsgBox(tooLong, vbCritical);
        return;
    }

    // The window serves its events during the listing and the wait, so it
    // may be closed (or even deleted) meanwhile. Then the wait ends at once,
    // the console goes on by itself, and nothing here touches the window again.
    QPointer<frmCorvane> self(this);
    const bool wasVisible = isVisible();
    auto windowOpen = [self, wasVisible] { return self && (!wasVisible || self->isVisible()); };
    std::optional<ListingReading> listed;
    if (!PreviewAllowsRun(commandLine, windowOpen, &listed))
        return;

    int result = 0;
    if (showProgress) {
        // The same command, followed in Corvane's own window, which stays
        // open after the run as the console does after PAUSE.
        QPointer<frmRun> window;
        result = frmRun::Run(commandLine, ProcessCommand(commandLine, true), std::move(listed), windowOpen, &window);
        if (result == RunAbandoned || !windowOpen())
            return;
        // Auto-Close: a run without failures closes its window, and the
        // usual report follows; after failures the window tells them.
        const bool success = result >= 0 && (result & (8 | 16)) == 0;
        if (menuItem(kAutoClose)->isChecked() && success) {
            if (window)
                window->close();
            MsgBox(ExitReport(result), vbOKOnly);
        }
    } else {
        result = RunAndWait(ProcessCommand(commandLine, autoClose), windowOpen);
        if (result == RunAbandoned || !windowOpen())
            return;
        if (menuItem(kAutoClose)->isChecked())
            MsgBox(ExitReport(result), vbOKOnly);
    }
    if (!windowOpen())
        return;

    // The texts are read now: an edit made during the wait is the one remembered.
    auto *source = control<QComboBox>("cboSource");
    RememberFolder(source, textOf(source));
    auto *destination = control<QComboBox>("cboDestination");
    RememberFolder(destination, textOf(destination));
}

void frmCorvane::mnuFileExecute_Click() { cmdExecute_Click(); }

bool frmCorvane::PreviewAllowsRun(const QString &commandLine, const std::function<bool()> &windowOpen,
                                  std::optional<ListingReading> *listed)
{
    if (!menuItem(kPreview)->isChecked())
        return true;
    // What Robocopy would be given: the first step, as the console splits it.
    const QString step = console::SplitSteps(commandLine).value(0).command;
    const RunEffects effects = ReadRunEffects(step);
    if (!effects.mayRemove())
        return true;

    PreviewText text;
    const std::optional<QString> arguments = ListingArguments(step);
    if (!arguments) {
        text = FailureTextOf(ListingFailure::CannotMake, 0, QString());
    } else {
        using Status = ListingOutcome::Status;
        const ListingOutcome outcome = RunListing(*arguments, this, windowOpen);
        switch (outcome.status) {
        case Status::Cancelled:
        case Status::Abandoned:
            return false;
        case Status::NotFound:
            text = FailureTextOf(ListingFailure::NotFound, 0, QString());
            break;
        case Status::CannotStart:
            text = FailureTextOf(ListingFailure::CannotStart, 0, outcome.output);
            break;
        case Status::EndedAbnormally:
            text = FailureTextOf(ListingFailure::EndedAbnormally, outcome.exitCode, outcome.output);
            break;
        case Status::Finished:
            if (outcome.exitCode < 0 || (outcome.exitCode & 16) != 0) {
                text = FailureTextOf(ListingFailure::SeriousError, outcome.exitCode, outcome.output);
            } else if (!outcome.reading.readable) {
                text = FailureTextOf(ListingFailure::Unreadable, outcome.exitCode, outcome.output);
            } else {
                const Preview preview = PreviewOf(effects, outcome.reading, outcome.exitCode);
                if (listed && (outcome.exitCode & 8) == 0)
                    *listed = outcome.reading;
                if (preview.removesNothing())
                    return true;
                text = PreviewTextOf(preview);
            }
            break;
        }
    }
    if (!windowOpen())
        return false;
    if (frmPreview::Ask(text, this) && windowOpen())
        return true;
    if (listed)
        listed->reset();
    return false;
}

void frmCorvane::cmdCopy_Click()
{
    const QString commandLine = commandToHandOn(*this);
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(commandLine, QClipboard::Clipboard);
    // Qt reports no failure of its own; a clipboard that did not take the
    // text shows in what it now holds.
    if (clipboard->text(QClipboard::Clipboard) != commandLine) {
        MsgBox(QStringLiteral("Error: The clipboard did not accept the text %1").arg(kClipboardFailure), vbCritical);
        return;
    }
    MsgBox(QStringLiteral("Command text copied to clipboard"), vbInformation);
}

void frmCorvane::mnuFileSaveAs_Click()
{
    const QString path = SaveFileDialog(QStringLiteral("Save Command Line"), QString(), kSaveFilter, 0);
    if (path.isEmpty())
        return;
    const QByteArray bytes = CommandFileBytes(commandToHandOn(*this), CommandFileKindOf(path), SystemCodePages());
    QFile file(path);
    auto fail = [&file] {
        MsgBox(QStringLiteral("Error: ") + file.errorString() + u' ' + QString::number(int(file.error())), vbCritical);
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail();
        return;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        fail();
        return;
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        fail();
}

void frmCorvane::mnuHelpRoboCopy_Click()
{
    const QString path = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/robocopy.doc"));
    try {
        // Any other failure is the shell's to tell (with no program for .doc
        // files, Windows offers to choose one).
        const int result = QFileInfo::exists(path) ? ShellOpen(path, QString(), QString(), QString(), 1)
                                                   : kShellFileNotFound;
        if (result != kShellFileNotFound && result != kShellPathNotFound)
            return;
        // Without the manual the command would do nothing visible at all.
        const QString offer = QStringLiteral("The RoboCopy manual, robocopy.doc, was not found beside Corvane:\n\n"
                                             "%1\n\nOpen Microsoft's online Robocopy documentation instead?")
                                  .arg(path);
        if (MsgBox(offer, vbInformation | vbYesNo) == vbYes)
            ShellOpen(kOnlineManual, QString(), QString(), QString(), 1);
    } catch (const std::exception &e) {
        MsgBox(QStringLiteral("Unable to open RoboCopy.doc ") + QString::fromLocal8Bit(e.what()), vbOKOnly);
    }
}

void frmCorvane::mnuHelpAbout_Click() { frmHelp::ShowShared(this); }
