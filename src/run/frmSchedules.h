#pragma once

#include "run/Scheduler.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class frmCorvane;

// File > Scheduled Commands...: the schedules the system's scheduler holds
// under Corvane's name, as it tells them each time the list is made: the
// command, the next run, the last run with its exit code and what that
// means, and the log. Run Now, Open in Window, Edit and Delete act on the
// chosen one.
class frmSchedules : public QDialog
{
public:
    frmSchedules(Scheduler &scheduler, frmCorvane &owner);

    static void Show(Scheduler &scheduler, frmCorvane &owner);

    // Asks the system again.
    void refresh();

    QLabel *lblScheduler() const { return m_kind; }
    QTreeWidget *lstSchedules() const { return m_list; }
    QPushButton *cmdRunNow() const { return m_runNow; }
    QPushButton *cmdOpen() const { return m_open; }
    QPushButton *cmdEdit() const { return m_edit; }
    QPushButton *cmdDelete() const { return m_delete; }
    QPushButton *cmdRefresh() const { return m_refresh; }
    QPushButton *cmdClose() const { return m_close; }

    // The columns of the list.
    enum Column { ColName, ColWhen, ColCommand, ColNextRun, ColLastRun, ColResult, ColOutput, ColumnCount };

private:
    // The chosen schedule, or null.
    const ScheduledCommand *chosen() const;
    void showChosen();
    void cmdRunNow_Click();
    void cmdOpen_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();

    Scheduler &m_scheduler;
    frmCorvane &m_owner;
    QList<ScheduledCommand> m_commands;
    QLabel *m_kind = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_runNow = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_close = nullptr;
};

// The result column's text: "1: One or more files copied successfully.",
// or the state when there is no exit code.
QString ResultText(const ScheduledCommand &command);
