#include "main_window/frmCorvane.h"

#include "command/CommandFileText.h"
#include "command/CommandReader.h"
#include "main_window/Catalogue.h"
#include "main_window/Controls.h"
#include "run/basCommonDialog.h"
#include "tools/basTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kOpenFilter =
    QStringLiteral("Command Files (*.CMD;*.BAT;*.TXT;*.RCJ)|*.CMD;*.BAT;*.TXT;*.RCJ|All Files|*.*");
// Commands and jobs are a few kilobytes; a file far larger is none.
constexpr qint64 kMaxCommandFileSize = 16 * 1024 * 1024;

} // namespace

void frmCorvane::mnuFileOpen_Click()
{
    const QString path = OpenFileDialog(QStringLiteral("Open Command File"), QString(), kOpenFilter);
    if (!path.isEmpty())
        OpenCommandFile(path);
}

void frmCorvane::mnuFileApplyCommand_Click()
{
    setOptionsFrom(ReadCommandOrJob(text("txtCommandLine"), false), QStringLiteral("The command text"));
}

void frmCorvane::OpenCommandFile(const QString &path)
{
    const QString shown = u'"' + QDir::toNativeSeparators(path) + u'"';
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        MsgBox(QStringLiteral("Cannot open %1: %2").arg(shown, file.errorString()), vbCritical);
        return;
    }
    const QByteArray bytes = file.read(kMaxCommandFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        MsgBox(QStringLiteral("Cannot read %1: %2").arg(shown, file.errorString()), vbCritical);
        return;
    }
    if (bytes.size() > kMaxCommandFileSize) {
        MsgBox(QStringLiteral("%1 is too large to be a command file.").arg(shown), vbCritical);
        return;
    }
    const std::optional<QString> text = CommandFileText(bytes, CommandFileKindOf(path), SystemCodePages());
    if (!text) {
        MsgBox(QStringLiteral("%1 is not a text file.").arg(shown), vbCritical);
        return;
    }
    const bool job = QFileInfo(path).suffix().compare(QLatin1StringView("rcj"), Qt::CaseInsensitive) == 0;
    setOptionsFrom(ReadCommandOrJob(*text, job), shown);
}

// Every option control takes the value read, as Load and Clear set them, so
// each control's change handling and the interlocks run as after any change;
// the rebuild of the command they would each start comes once, at the end,
// and shows the command even where no control changed. The recent-folder
// lists stay as they are.
void frmCorvane::setOptionsFrom(const CommandReading &reading, const QString &where)
{
    if (!reading.found) {
        MsgBox(where
                   + (reading.refusal.isEmpty() ? QStringLiteral(" holds no Robocopy command.")
                                                : u' ' + reading.refusal + u'.')
                   + QStringLiteral(" The options are unchanged."),
               vbExclamation);
        return;
    }
    m_rebuildHeld = true;
    for (const ControlSpec &entry : controlCatalogue()) {
        const QLatin1StringView name(entry.name);
        QWidget *w = control(name);
        if (entry.kind == ControlKind::CheckBox)
            setCheckValueOf(w, reading.values.checkValue(name));
        else if ((entry.kind == ControlKind::TextBox || entry.kind == ControlKind::ComboBox)
                 && name != QLatin1StringView(ControlName("txtCommandLine")))
            setTextOf(w, reading.values.text(name));
    }
    m_rebuildHeld = false;
    UpdateCommandLine();
    if (reading.leftOut.isEmpty())
        return;
    // One line each, so that a long list stays readable; the rest counted.
    constexpr qsizetype kMostLines = 20;
    QStringList lines = LeftOutLines(reading.leftOut);
    if (lines.size() > kMostLines) {
        const qsizetype more = lines.size() - kMostLines;
        lines.resize(kMostLines);
        lines << QStringLiteral("and %1 more").arg(more);
    }
    MsgBox(QStringLiteral("Corvane left out these parts of the command:\n\n")
               + lines.join(u'\n'),
           vbExclamation);
}
