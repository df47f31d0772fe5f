#pragma once

#include "run/ScheduleSpec.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class Scheduler;

// File > Schedule Command...: a name, when the command runs (daily at a
// time, weekly on chosen days at a time, every n hours), whether missed runs
// are made up and whether a run needs its destination, and Create. The same
// dialog changes a schedule from File > Scheduled Commands (Save).
class frmSchedule : public QDialog
{
public:
    // A new schedule of the command, or (replacing not empty) the schedule
    // of that name changed.
    frmSchedule(Scheduler &scheduler, const QString &command, const ScheduleSpec &spec, const QString &replacing,
                QWidget *owner);

    // Shows the dialog modally; true when a schedule was saved.
    static bool Ask(Scheduler &scheduler, const QString &command, const ScheduleSpec &spec, const QString &replacing,
                    QWidget *owner);

    QPlainTextEdit *txtCommand() const { return m_command; }
    QLineEdit *txtName() const { return m_name; }
    QRadioButton *optDaily() const { return m_daily; }
    QRadioButton *optWeekly() const { return m_weekly; }
    QRadioButton *optEveryHours() const { return m_everyHours; }
    // Monday first.
    QCheckBox *chkDay(int qtDay) const { return m_days[qtDay - 1]; }
    QComboBox *cboHours() const { return m_hours; }
    QLineEdit *txtTime() const { return m_time; }
    QCheckBox *chkRunMissed() const { return m_runMissed; }
    QCheckBox *chkReachable() const { return m_reachable; }
    QCheckBox *chkHighest() const { return m_highest; } // Windows only; else null
    QLabel *lblFiles() const { return m_files; }
    QPushButton *cmdCreate() const { return m_create; }
    QPushButton *cmdCancel() const { return m_cancel; }

private:
    void cmdCreate_Click();
    void showKind();
    void showFiles();

    Scheduler &m_scheduler;
    QString m_folder;
    QString m_replacing;
    QPlainTextEdit *m_command = nullptr;
    QLineEdit *m_name = nullptr;
    QRadioButton *m_daily = nullptr;
    QRadioButton *m_weekly = nullptr;
    QRadioButton *m_everyHours = nullptr;
    QCheckBox *m_days[7] = {};
    QComboBox *m_hours = nullptr;
    QLineEdit *m_time = nullptr;
    QCheckBox *m_runMissed = nullptr;
    QCheckBox *m_reachable = nullptr;
    QCheckBox *m_highest = nullptr;
    QLabel *m_files = nullptr;
    QPushButton *m_create = nullptr;
    QPushButton *m_cancel = nullptr;
};

// Shows one of the two schedule windows modally and returns its result: the
// one place they hand over to the platform. Tests answer the real dialogs
// here; an empty function shows them as usual. Returns the function it replaces.
using ScheduleDialogExec = std::function<int(QDialog &dialog)>;
ScheduleDialogExec SetScheduleDialogExec(ScheduleDialogExec exec);
int ExecScheduleDialog(QDialog &dialog);
