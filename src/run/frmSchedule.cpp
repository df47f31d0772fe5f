#include "run/frmSchedule.h"

#include "run/Scheduler.h"
#include "tools/basTools.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {
ScheduleDialogExec &dialogExec()
{
    static ScheduleDialogExec exec;
    return exec;
}

// Widths in average characters.
constexpr int kTextChars = 72;

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFixedWidth(label->fontMetrics().averageCharWidth() * kTextChars);
    return label;
}
} // namespace

ScheduleDialogExec SetScheduleDialogExec(ScheduleDialogExec exec) { return std::exchange(dialogExec(), std::move(exec)); }

int ExecScheduleDialog(QDialog &dialog) { return dialogExec() ? dialogExec()(dialog) : dialog.exec(); }

frmSchedule::frmSchedule(Scheduler &scheduler, const QString &command, const ScheduleSpec &spec,
                         const QString &replacing, QWidget *owner)
    : QDialog(owner), m_scheduler(scheduler), m_folder(scheduler.folder()), m_replacing(replacing)
{
    setObjectName(u"frmSchedule"_s);
    setWindowTitle(replacing.isEmpty() ? u"Schedule Command"_s : u"Change Schedule"_s);
    const int charWidth = fontMetrics().averageCharWidth();

    m_command = new QPlainTextEdit(command, this);
    m_command->setObjectName(u"txtCommand"_s);
    m_command->setTabChangesFocus(true);
    m_command->setFixedSize(charWidth * kTextChars, fontMetrics().lineSpacing() * 4 + 2 * m_command->frameWidth() + 8);
    m_name = new QLineEdit(spec.name, this);
    m_name->setObjectName(u"txtName"_s);

    auto *when = new QGroupBox(u"When"_s, this);
    m_daily = new QRadioButton(u"&Daily"_s, when);
    m_daily->setObjectName(u"optDaily"_s);
    m_weekly = new QRadioButton(u"&Weekly on"_s, when);
    m_weekly->setObjectName(u"optWeekly"_s);
    m_everyHours = new QRadioButton(u"Ever&y"_s, when);
    m_everyHours->setObjectName(u"optEveryHours"_s);
    auto *kinds = new QButtonGroup(this);
    for (QRadioButton *option : {m_daily, m_weekly, m_everyHours})
        kinds->addButton(option);
    auto *days = new QHBoxLayout;
    for (int day = 1; day <= 7; ++day) {
        m_days[day - 1] = new QCheckBox(DayNames(DayBit(day), QString()), when);
        m_days[day - 1]->setObjectName(u"chkDay%1"_s.arg(day));
        m_days[day - 1]->setChecked(spec.days & DayBit(day));
        days->addWidget(m_days[day - 1]);
    }
    days->addStretch();
    m_hours = new QComboBox(when);
    m_hours->setObjectName(u"cboHours"_s);
    for (int hours : HourIntervals())
        m_hours->addItem(QString::number(hours), hours);
    m_hours->setCurrentIndex(std::max(0, m_hours->findData(spec.hours)));
    auto *hours = new QHBoxLayout;
    hours->addWidget(m_hours);
    hours->addWidget(new QLabel(u"hours"_s, when));
    hours->addStretch();
    m_time = new QLineEdit(spec.time.toString(u"HH:mm"_s), when);
    m_time->setObjectName(u"txtTime"_s);
    m_time->setPlaceholderText(u"HH:MM"_s);
    m_time->setFixedWidth(charWidth * 8);
    auto *timeLabel = new QLabel(u"&At"_s, when);
    timeLabel->setBuddy(m_time);
    auto *time = new QHBoxLayout;
    time->addWidget(m_time);
    time->addWidget(new QLabel(u"(HH:MM; every n hours: the time of one of the runs)"_s, when));
    time->addStretch();
    auto *grid = new QFormLayout(when);
    grid->addRow(m_daily);
    grid->addRow(m_weekly, days);
    grid->addRow(m_everyHours, hours);
    grid->addRow(timeLabel, time);
    (spec.kind == ScheduleKind::Weekly ? m_weekly : spec.kind == ScheduleKind::EveryHours ? m_everyHours : m_daily)
        ->setChecked(true);
    connect(kinds, &QButtonGroup::buttonToggled, this, &frmSchedule::showKind);

    m_runMissed = new QCheckBox(u"&Run missed runs at the next start"_s, this);
    m_runMissed->setObjectName(u"chkRunMissed"_s);
    m_runMissed->setChecked(spec.runMissed);
#ifdef Q_OS_WIN
    m_reachable = new QCheckBox(u"Only when the destination is r&eachable (the network is up)"_s, this);
#else
    m_reachable = new QCheckBox(u"Only when the destination is r&eachable (its folder exists)"_s, this);
#endif
    m_reachable->setObjectName(u"chkReachable"_s);
    m_reachable->setChecked(spec.onlyWhenReachable);

    auto *layout = new QVBoxLayout(this);
    auto *top = new QFormLayout;
    top->addRow(u"Co&mmand"_s, m_command);
    top->addRow(u"&Name"_s, m_name);
    layout->addLayout(top);
    layout->addWidget(when);
    layout->addWidget(m_runMissed);
    layout->addWidget(m_reachable);
#ifdef Q_OS_WIN
    m_highest = new QCheckBox(u"Run with &highest privileges"_s, this);
    m_highest->setObjectName(u"chkHighest"_s);
    m_highest->setChecked(spec.highestPrivileges);
    layout->addWidget(m_highest);
    layout->addWidget(note(u"The task runs as you, with no stored password: a run while you are logged off "
                           "cannot reach network shares."_s,
                           this));
#endif
    m_files = note(QString(), this);
    m_files->setObjectName(u"lblFiles"_s);
    layout->addWidget(m_files);
    connect(m_name, &QLineEdit::textChanged, this, &frmSchedule::showFiles);

    m_create = new QPushButton(replacing.isEmpty() ? u"&Create"_s : u"&Save"_s, this);
    m_create->setObjectName(u"cmdCreate"_s);
    m_create->setDefault(true);
    m_cancel = new QPushButton(u"Cancel"_s, this);
    m_cancel->setObjectName(u"cmdCancel"_s);
    connect(m_create, &QPushButton::clicked, this, &frmSchedule::cmdCreate_Click);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_create);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    showKind();
    showFiles();
    m_name->setFocus();
}

void frmSchedule::showKind()
{
    for (QCheckBox *day : m_days)
        day->setEnabled(m_weekly->isChecked());
    m_hours->setEnabled(m_everyHours->isChecked());
}

void frmSchedule::showFiles()
{
    const QString name = m_name->text();
    if (name.isEmpty() || !NameRefusal(name).isEmpty()) {
        m_files->setText(u"The command is saved as a batch file in %1, named after the schedule; "
                         "each run appends its output to a log beside it."_s
                             .arg(QDir::toNativeSeparators(m_folder)));
        return;
    }
    const ScheduleFiles files = FilesOf(m_folder, name);
    m_files->setText(u"The command is saved as %1; each run appends its output to %2."_s.arg(
        QDir::toNativeSeparators(files.batch), QDir::toNativeSeparators(files.log)));
}

void frmSchedule::cmdCreate_Click()
{
    ScheduleSpec spec;
    spec.name = m_name->text();
    spec.kind = m_weekly->isChecked() ? ScheduleKind::Weekly
        : m_everyHours->isChecked()   ? ScheduleKind::EveryHours
                                      : ScheduleKind::Daily;
    for (int day = 1; day <= 7; ++day)
        if (m_days[day - 1]->isChecked())
            spec.days |= DayBit(day);
    spec.hours = m_hours->currentData().toInt();
    spec.runMissed = m_runMissed->isChecked();
    spec.onlyWhenReachable = m_reachable->isChecked();
    spec.highestPrivileges = m_highest && m_highest->isChecked();
    if (spec.kind != ScheduleKind::Weekly)
        spec.days = 0;
    const std::optional<QTime> time = ParseTimeOfDay(m_time->text());
    if (!time) {
        MsgBox(TimeRefusal(m_time->text()), vbExclamation);
        m_time->setFocus();
        return;
    }
    spec.time = *time;
    setCursor(Qt::WaitCursor);
    const QString failure = m_scheduler.save(spec, m_command->toPlainText(), m_replacing);
    unsetCursor();
    if (!failure.isEmpty()) {
        MsgBox(failure, vbExclamation);
        return;
    }
    const ScheduleFiles files = FilesOf(m_folder, spec.name);
    MsgBox(u"The schedule \u201C%1\u201D (%2) is kept by %3. Each run appends its output to %4."_s.arg(
               spec.name, DescribeSchedule(spec), m_scheduler.savedWhere(spec), QDir::toNativeSeparators(files.log)),
           vbInformation);
    accept();
}

bool frmSchedule::Ask(Scheduler &scheduler, const QString &command, const ScheduleSpec &spec, const QString &replacing,
                      QWidget *owner)
{
    frmSchedule dialog(scheduler, command, spec, replacing, owner);
    return ExecScheduleDialog(dialog) == QDialog::Accepted;
}
