#include "run/frmSchedules.h"

#include "main_window/frmCorvane.h"
#include "run/ExitReport.h"
#include "run/frmSchedule.h"
#include "tools/basTools.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {
// Widths in average characters: the command's column, and the list.
constexpr int kCommandChars = 48;
constexpr int kListChars = 150;
} // namespace

QString ResultText(const ScheduledCommand &command)
{
    if (!command.lastExitCode)
        return command.lastState;
    return u"%1: %2"_s.arg(*command.lastExitCode).arg(ExitReport(*command.lastExitCode).trimmed());
}

frmSchedules::frmSchedules(Scheduler &scheduler, frmCorvane &owner)
    : QDialog(&owner), m_scheduler(scheduler), m_owner(owner)
{
    setObjectName(u"frmSchedules"_s);
    setWindowTitle(u"Scheduled Commands"_s);
    m_kind = new QLabel(this);
    m_kind->setObjectName(u"lblScheduler"_s);
    m_kind->setTextFormat(Qt::PlainText);
    m_kind->setWordWrap(true);
    m_kind->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(u"lstSchedules"_s);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({u"Name"_s, u"When"_s, u"Command"_s, u"Next Run"_s, u"Last Run"_s, u"Result"_s, u"Output"_s});
    const int charWidth = fontMetrics().averageCharWidth();
    m_list->setMinimumSize(charWidth * kListChars, fontMetrics().lineSpacing() * 12);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &frmSchedules::showChosen);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &frmSchedules::cmdEdit_Click);

    m_runNow = new QPushButton(u"&Run Now"_s, this);
    m_runNow->setObjectName(u"cmdRunNow"_s);
    m_open = new QPushButton(u"&Open in Window"_s, this);
    m_open->setObjectName(u"cmdOpen"_s);
    m_edit = new QPushButton(u"&Edit..."_s, this);
    m_edit->setObjectName(u"cmdEdit"_s);
    m_delete = new QPushButton(u"&Delete"_s, this);
    m_delete->setObjectName(u"cmdDelete"_s);
    m_refresh = new QPushButton(u"Re&fresh"_s, this);
    m_refresh->setObjectName(u"cmdRefresh"_s);
    m_close = new QPushButton(u"Close"_s, this);
    m_close->setObjectName(u"cmdClose"_s);
    for (QPushButton *button : {m_runNow, m_open, m_edit, m_delete, m_refresh})
        button->setAutoDefault(false);
    m_close->setDefault(true);
    connect(m_runNow, &QPushButton::clicked, this, &frmSchedules::cmdRunNow_Click);
    connect(m_open, &QPushButton::clicked, this, &frmSchedules::cmdOpen_Click);
    connect(m_edit, &QPushButton::clicked, this, &frmSchedules::cmdEdit_Click);
    connect(m_delete, &QPushButton::clicked, this, &frmSchedules::cmdDelete_Click);
    connect(m_refresh, &QPushButton::clicked, this, &frmSchedules::refresh);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {m_runNow, m_open, m_edit, m_delete, m_refresh})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_kind);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    refresh();
}

void frmSchedules::refresh()
{
    const QString current = chosen() ? chosen()->name : QString();
    setCursor(Qt::WaitCursor);
    const ScheduleListing listing = m_scheduler.list();
    unsetCursor();
    m_commands = listing.commands;
    if (!listing.failure.isEmpty())
        m_kind->setText(u"The schedules could not be listed. "_s + listing.failure);
    else if (m_commands.isEmpty())
        m_kind->setText(u"There is no schedule of Corvane's in %1. File > Schedule Command makes one."_s.arg(m_scheduler.kindText()));
    else
        m_kind->setText(u"The schedules %1 holds for Corvane:"_s.arg(m_scheduler.kindText()));
    m_list->clear();
    for (const ScheduledCommand &command : std::as_const(m_commands)) {
        QStringList texts(ColumnCount);
        texts[ColName] = command.name;
        texts[ColWhen] = command.spec ? DescribeSchedule(*command.spec) : QString();
        texts[ColCommand] = command.command;
        texts[ColNextRun] = command.nextRun;
        texts[ColLastRun] = command.lastRun.isEmpty() ? u"never"_s : command.lastRun;
        texts[ColResult] = ResultText(command);
        texts[ColOutput] = QDir::toNativeSeparators(command.log);
        auto *item = new QTreeWidgetItem(m_list, texts);
        item->setToolTip(ColCommand, command.command);
        if (command.name == current)
            m_list->setCurrentItem(item);
    }
    if (!m_list->currentItem() && m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    // Every column as wide as its texts, but the command, which shows its
    // start here and all of it in its tool tip.
    const int charWidth = fontMetrics().averageCharWidth();
    for (int column = 0; column < ColumnCount; ++column) {
        m_list->resizeColumnToContents(column);
        if (column == ColCommand)
            m_list->setColumnWidth(column, std::min(m_list->columnWidth(column), charWidth * kCommandChars));
    }
    showChosen();
}

const ScheduledCommand *frmSchedules::chosen() const
{
    const int row = m_list ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    return row >= 0 && row < m_commands.size() ? &m_commands.at(row) : nullptr;
}

void frmSchedules::showChosen()
{
    for (QPushButton *button : {m_runNow, m_open, m_edit, m_delete})
        button->setEnabled(chosen() != nullptr);
}

void frmSchedules::cmdRunNow_Click()
{
    const ScheduledCommand *command = chosen();
    if (!command)
        return;
    if (const QString failure = m_scheduler.runNow(*command); !failure.isEmpty()) {
        MsgBox(failure, vbExclamation);
        return;
    }
    MsgBox(u"\u201C%1\u201D is started. Its output goes to %2; Refresh shows how it ended."_s.arg(
               command->name, QDir::toNativeSeparators(command->log)),
           vbInformation);
    refresh();
}

void frmSchedules::cmdOpen_Click()
{
    const ScheduledCommand *command = chosen();
    if (!command)
        return;
    // The batch file, read as File > Open Command File reads it.
    m_owner.OpenCommandFile(command->batch);
    accept();
}

void frmSchedules::cmdEdit_Click()
{
    const ScheduledCommand *command = chosen();
    if (!command)
        return;
    const ScheduledCommand edited = *command;
    QString why;
    const std::optional<QString> line = CommandOfBatchFile(edited.batch, why);
    if (!line) {
        MsgBox(u"\u201C%1\u201D cannot be changed: "_s.arg(edited.name) + why, vbExclamation);
        return;
    }
    std::optional<ScheduleSpec> spec = m_scheduler.scheduleOf(edited);
    if (!spec) {
        // Written by another hand: it is changed as a new daily schedule.
        MsgBox(u"The schedule of \u201C%1\u201D is not one Corvane wrote; Edit starts from a daily one."_s.arg(edited.name),
               vbInformation);
        spec = ScheduleSpec{};
        spec->name = edited.name;
    }
    if (frmSchedule::Ask(m_scheduler, *line, *spec, edited.name, this))
        refresh();
}

void frmSchedules::cmdDelete_Click()
{
    const ScheduledCommand *command = chosen();
    if (!command)
        return;
    const ScheduledCommand doomed = *command;
    const QString question = u"Delete the schedule \u201C%1\u201D? Its batch file %2 goes too; its log stays:\n%3"_s.arg(
        doomed.name, QDir::toNativeSeparators(doomed.batch), QDir::toNativeSeparators(doomed.log));
    if (MsgBox(question, vbYesNo | vbExclamation) != vbYes)
        return;
    if (const QString failure = m_scheduler.remove(doomed); !failure.isEmpty())
        MsgBox(failure, vbExclamation);
    refresh();
}

void frmSchedules::Show(Scheduler &scheduler, frmCorvane &owner)
{
    frmSchedules dialog(scheduler, owner);
    ExecScheduleDialog(dialog);
}
