#include "run/frmRun.h"

#include "command/CommandWords.h"
#include "command/ListingCommand.h"
#include "console/ConsoleRules.h"
#include "run/ExitReport.h"
#include "run/ListingRun.h"
#include "run/OutputView.h"
#include "run/RunProcess.h"
#include "run/basCommonDialog.h"
#include "tools/basTools.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryFile>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include "run/TaskbarProgress_win.h"
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kTitle = u"Corvane"_s;
const QString kCancelQuestion =
    u"Cancel this run?\n\nRobocopy is ended where it stands; what it has done so far stays done."_s;

// The one Robocopy command of the process command, or nothing when it runs
// several steps or another program: only then does a listing measure it.
std::optional<QString> robocopyStep(const QString &processCommand)
{
    const QList<console::Step> steps = console::SplitSteps(StripInterpreter(processCommand));
    if (steps.size() != 1)
        return std::nullopt;
    const QStringList words = SplitWords(steps.first().command);
    if (words.isEmpty())
        return std::nullopt;
    const QString program = FileNamePart(words.first());
    if (program.compare(u"ROBOCOPY.EXE"_s, Qt::CaseInsensitive) != 0
        && program.compare(u"ROBOCOPY"_s, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return steps.first().command;
}

QLabel *newLabel(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1StringView(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton *newButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setAutoDefault(false);
    return button;
}

QPlainTextEdit *newTextView(QWidget *parent, const char *name)
{
    auto *view = new QPlainTextEdit(parent);
    view->setObjectName(QLatin1StringView(name));
    view->setReadOnly(true);
    view->setUndoRedoEnabled(false);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return view;
}

QString clockText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return u"%1:%2:%3"_s.arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

// Where the log named in the command is, as the run sees it.
QString logPath(const QString &written)
{
    QString path = written;
#ifndef Q_OS_WIN
    path.replace(u'\\', u'/'); // as corvane-copy reads it
#endif
    return QDir::current().absoluteFilePath(path);
}

} // namespace

frmRun::frmRun(const QString &commandLine, const QString &processCommand, std::optional<ListingReading> listing)
    : m_commandLine(commandLine), m_processCommand(processCommand)
{
    setObjectName(u"frmRun"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kTitle);
    const std::optional<QString> step = robocopyStep(processCommand);
    m_switches = ReportSwitchesOf(step.value_or(StripInterpreter(processCommand)));
    if (listing && step)
        m_totals = TotalsOf(*listing);
    m_output = std::make_unique<QTemporaryFile>(QDir::temp().filePath(u"corvane-run-XXXXXX.txt"_s));
    // The whole output as a console shows it, percentages left out; without
    // the file Save Output has nothing, and the run goes on all the same.
    if (m_output->open())
        m_reader.setLineSink([this](const QString &line) { m_output->write((line + u'\n').toUtf8()); });
    buildWindow();

    m_process = new RunProcess(this);
    connect(m_process, &RunProcess::output, this, &frmRun::take);
    connect(m_process, &RunProcess::finished, this, &frmRun::runEnded);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &frmRun::refresh);

    // A listing beside the run gives the totals; the run does not wait for it.
    if (!m_totals && step) {
        if (const std::optional<QString> arguments = ListingArguments(*step)) {
            m_listing = new ListingJob(this);
            m_counting = true;
            connect(m_listing, &ListingJob::finished, this, [this] {
                m_counting = false;
                const ListingOutcome &o = m_listing->outcome();
                if (o.status == ListingOutcome::Status::Finished && o.reading.readable && o.exitCode >= 0
                    && (o.exitCode & 16) == 0)
                    m_totals = TotalsOf(o.reading);
                if (!m_ended)
                    refresh();
            });
            m_listingArguments = *arguments;
        }
    }
    if (!m_switches.onConsole()) {
        const QFileInfo log(logPath(m_switches.logFile));
        if (log.exists()) {
            m_logSizeBefore = log.size();
            m_logTimeBefore = log.lastModified();
        }
        m_logDecoder = m_switches.unicodeLog ? QStringDecoder(QStringDecoder::Utf16LE) : QStringDecoder();
    }
}

frmRun::~frmRun() = default;

void frmRun::buildWindow()
{
    const int charWidth = fontMetrics().averageCharWidth();
    auto *layout = new QVBoxLayout(this);

    auto *commandRow = new QHBoxLayout;
    auto *commandLabel = newLabel(this, "lblCommand", u"Command:"_s);
    m_command = new QLineEdit(m_commandLine, this);
    m_command->setObjectName(u"txtCommand"_s);
    m_command->setReadOnly(true);
    m_command->setCursorPosition(0);
    commandLabel->setBuddy(m_command);
    commandRow->addWidget(commandLabel);
    commandRow->addWidget(m_command, 1);
    layout->addLayout(commandRow);

    m_state = newLabel(this, "lblState");
    QFont bold = m_state->font();
    bold.setBold(true);
    m_state->setFont(bold);
    layout->addWidget(m_state);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(u"barOverall"_s);
    m_bar->setRange(0, 0);
    m_bar->setFormat(u"%p%"_s);
    layout->addWidget(m_bar);
    m_standing = newLabel(this, "lblStanding");
    layout->addWidget(m_standing);

    auto *fileRow = new QHBoxLayout;
    m_currentFile = newLabel(this, "lblCurrentFile");
    m_currentFile->setMinimumWidth(charWidth * 40);
    m_currentFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_currentBar = new QProgressBar(this);
    m_currentBar->setObjectName(u"barCurrentFile"_s);
    m_currentBar->setRange(0, 100);
    m_currentBar->setFixedWidth(charWidth * 16);
    m_currentBar->setVisible(false);
    fileRow->addWidget(m_currentFile, 1);
    fileRow->addWidget(m_currentBar);
    layout->addLayout(fileRow);

    auto *rateRow = new QHBoxLayout;
    m_speed = newLabel(this, "lblSpeed");
    m_timeLeft = newLabel(this, "lblTimeLeft");
    m_elapsed = newLabel(this, "lblElapsed");
    rateRow->addWidget(m_speed, 1);
    rateRow->addWidget(m_timeLeft, 1);
    rateRow->addWidget(m_elapsed, 1);
    layout->addLayout(rateRow);

    // The counts: a caption over each number.
    auto *counts = new QGridLayout;
    const struct
    {
        const char *name;
        const char *caption;
        QLabel **value;
    } cells[] = {{"lblCopied", "Copied", &m_copied},         {"lblSkipped", "Skipped", &m_skipped},
                 {"lblExtras", "Extra", &m_extras},          {"lblMismatched", "Mismatched", &m_mismatched},
                 {"lblFailed", "Failed", &m_failed}};
    int column = 0;
    for (const auto &cell : cells) {
        auto *caption = new QLabel(QString::fromLatin1(cell.caption), this);
        *cell.value = newLabel(this, cell.name, u"0"_s);
        (*cell.value)->setFont(bold);
        counts->addWidget(caption, 0, column);
        counts->addWidget(*cell.value, 1, column);
        ++column;
    }
    layout->addLayout(counts);

    // The end: the exit report's line with its icon, and the summary table.
    m_reportBox = new QWidget(this);
    auto *reportLayout = new QGridLayout(m_reportBox);
    reportLayout->setContentsMargins(0, 0, 0, 0);
    m_reportIcon = newLabel(m_reportBox, "lblReportIcon");
    m_reportIcon->setAlignment(Qt::AlignTop);
    m_report = newLabel(m_reportBox, "lblReport");
    m_report->setWordWrap(true);
    m_report->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary = newTextView(m_reportBox, "txtSummary");
    m_summary->setFrameShape(QFrame::NoFrame);
    m_summary->setFixedHeight(QFontMetrics(m_summary->font()).lineSpacing() * 9 + 8);
    m_summary->setVisible(false);
    reportLayout->addWidget(m_reportIcon, 0, 0);
    reportLayout->addWidget(m_report, 0, 1);
    reportLayout->addWidget(m_summary, 1, 0, 1, 2);
    reportLayout->setColumnStretch(1, 1);
    m_reportBox->setVisible(false);
    layout->addWidget(m_reportBox);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(u"tabOutput"_s);
    m_outputView = new OutputView(KeptLines, m_tabs);
    m_outputView->setObjectName(u"txtOutput"_s);
    m_errorsView = newTextView(m_tabs, "txtErrors");
    m_errorsView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_tabs->addTab(m_outputView, u"Output"_s);
    m_tabs->addTab(m_errorsView, u"Errors (0)"_s);
    layout->addWidget(m_tabs, 1);

    auto *buttons = new QHBoxLayout;
    m_pause = newButton(this, "cmdPause", u"&Pause"_s);
    m_cancel = newButton(this, "cmdCancel", u"Cancel"_s);
    m_openLog = newButton(this, "cmdOpenLog", u"Open &Log"_s);
    m_copyOutput = newButton(this, "cmdCopyOutput", u"C&opy Output"_s);
    m_saveOutput = newButton(this, "cmdSaveOutput", u"&Save Output As..."_s);
    m_close = newButton(this, "cmdClose", u"Close"_s);
    for (QPushButton *b : {m_openLog, m_copyOutput, m_saveOutput, m_close})
        b->setVisible(false);
    buttons->addWidget(m_openLog);
    buttons->addWidget(m_copyOutput);
    buttons->addWidget(m_saveOutput);
    buttons->addStretch(1);
    buttons->addWidget(m_pause);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);
    connect(m_pause, &QPushButton::clicked, this, &frmRun::cmdPause_Click);
    connect(m_cancel, &QPushButton::clicked, this, &frmRun::cmdCancel_Click);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_copyOutput, &QPushButton::clicked, this, &frmRun::cmdCopyOutput_Click);
    connect(m_saveOutput, &QPushButton::clicked, this, &frmRun::cmdSaveOutput_Click);
    connect(m_openLog, &QPushButton::clicked, this, &frmRun::cmdOpenLog_Click);

    resize(charWidth * 124, fontMetrics().lineSpacing() * 44);
}

void frmRun::start()
{
    show();
    raise();
    activateWindow();
    m_started = true;
    m_clock.start();
    m_state->setText(u"Running"_s);
    m_process->start(m_processCommand);
    if (m_listing)
        m_listing->start(m_listingArguments, true);
    m_refresh.start();
    refresh();
}

bool frmRun::isRunning() const { return m_started && !m_ended; }
bool frmRun::isPaused() const { return m_process->isPaused(); }

qint64 frmRun::runningMs() const
{
    if (!m_clock.isValid())
        return 0;
    qint64 paused = m_pausedMs;
    if (m_pausedSince.isValid())
        paused += m_pausedSince.elapsed();
    return std::max<qint64>(0, m_clock.elapsed() - paused);
}

void frmRun::take(const QString &text) { m_reader.add(text); }

void frmRun::followLog(bool atEnd)
{
    if (m_switches.onConsole())
        return;
    if (!m_logReady) {
        // A log written over must first be new; one added to is read from
        // where it ended.
        const QFileInfo info(logPath(m_switches.logFile));
        if (!info.exists())
            return;
        if (!m_switches.appendLog && m_logSizeBefore >= 0 && info.size() == m_logSizeBefore
            && info.lastModified() == m_logTimeBefore && !atEnd)
            return;
        m_log.setFileName(info.absoluteFilePath());
        if (!m_log.open(QIODevice::ReadOnly))
            return;
        m_logOffset = m_switches.appendLog ? std::max<qint64>(m_logSizeBefore, 0) : 0;
        m_logReady = true;
    }
    if (m_log.size() < m_logOffset)
        return;
    m_log.seek(m_logOffset);
    m_logPending += m_log.readAll();
    m_logOffset = m_log.pos();
    qsizetype cut = m_logPending.size();
    if (m_switches.unicodeLog) {
        cut -= cut % 2;
    } else if (!atEnd) {
        while (cut > 0 && m_logPending.at(cut - 1) != '\n' && m_logPending.at(cut - 1) != '\r')
            --cut;
    }
    if (cut == 0)
        return;
    const QByteArrayView bytes = QByteArrayView(m_logPending).first(cut);
    take(m_switches.unicodeLog ? QString(m_logDecoder.decode(bytes)) : DecodeConsoleOutput(bytes));
    m_logPending.remove(0, cut);
}

RunStanding frmRun::standing()
{
    RunStanding s;
    s.totals = m_totals;
    s.counts = m_reader.counts();
    s.current = m_reader.current();
    s.shows = m_switches;
    if (!m_switches.sizes) {
        if (m_process->isRunning())
            m_writtenBytes = m_process->writtenBytes();
        s.writtenBytes = m_writtenBytes;
    }
    return s;
}

void frmRun::showCounts(const RunCounts &counts)
{
    const QLocale locale;
    m_copied->setText(locale.toString(counts.copied));
    m_skipped->setText(locale.toString(counts.skipped));
    m_extras->setText(locale.toString(counts.extras));
    m_mismatched->setText(locale.toString(counts.mismatched));
    m_failed->setText(locale.toString(counts.failed));
}

void frmRun::refresh()
{
    followLog(false);

    // The view follows the end unless the user has scrolled up.
    m_outputView->appendLines(m_reader.takeLines());
    const QList<RunError> &errors = m_reader.errors();
    if (const qsizetype complete = m_reader.completeErrors(); m_errorsShown < complete) {
        QStringList texts;
        for (qsizetype i = m_errorsShown; i < complete; ++i)
            texts << errors.at(i).line + u"\n    "_s + errors.at(i).message;
        m_errorsView->appendPlainText(texts.join(u'\n'));
        m_errorsShown = complete;
    }
    m_tabs->setTabText(1, u"Errors (%1)"_s.arg(QLocale().toString(m_reader.errorLines())));

    const RunStanding s = standing();
    const qint64 ms = runningMs();
    m_meter.add(ms, std::max<qint64>(s.bytesDone(), 0), s.unitsDone());
    m_standing->setText(StandingText(s, m_counting));
    const int permille = PermilleOf(s);
    if (!m_ended) {
        if (permille < 0) {
            m_bar->setRange(0, 0);
        } else {
            m_bar->setRange(0, 1000);
            m_bar->setValue(permille);
        }
        showCounts(s.counts);
    }

    const CurrentCopy &current = m_reader.current();
    const QString name = m_reader.folderOf(current.name.isEmpty() ? m_reader.lastFile() : current.name);
    m_currentFile->setText(fontMetrics().elidedText(name, Qt::ElideMiddle, std::max(m_currentFile->width(), 100)));
    m_currentFile->setToolTip(name);
    m_currentBar->setVisible(!m_ended && !current.name.isEmpty() && current.percent >= 0);
    m_currentBar->setValue(std::max(current.percent, 0));

    const std::optional<double> speed = m_meter.bytesPerSecond();
    m_speed->setText(speed && !m_ended && !isPaused() && s.bytesDone() >= 0 ? SpeedText(*speed) : QString());
    const std::optional<qint64> left = s.totals ? m_meter.secondsLeft(s.unitsWhole() - s.unitsDone()) : std::nullopt;
    m_timeLeft->setText(left && !m_ended && !isPaused() ? TimeLeftText(*left) : QString());
    m_elapsed->setText(u"Elapsed "_s + clockText(ms));

    if (m_ended)
        return;
    const QString percent = permille >= 0 ? QString::number(permille / 10) + u"% "_s : QString();
    if (isPaused())
        setWindowTitle(u"Paused "_s + percent + u"- "_s + kTitle);
    else
        setWindowTitle(percent + (permille < 0 ? u"Running - "_s : u"- "_s) + kTitle);
    showTaskbarProgress(permille);
}

void frmRun::showTaskbarProgress(int permille)
{
#ifdef Q_OS_WIN
    using win32::TaskbarState;
    TaskbarState state = TaskbarState::None;
    if (!m_ended)
        state = isPaused() ? TaskbarState::Paused : permille < 0 ? TaskbarState::Indeterminate : TaskbarState::Normal;
    win32::SetTaskbarProgress(std::uintptr_t(winId()), state, std::uint64_t(std::max(permille, 0)), 1000);
#else
    Q_UNUSED(permille);
#endif
}

void frmRun::cmdPause_Click()
{
    if (m_ended)
        return;
    if (isPaused()) {
        if (!m_process->resume())
            return;
        m_pausedMs += m_pausedSince.elapsed();
        m_pausedSince.invalidate();
        m_pause->setText(u"&Pause"_s);
        m_state->setText(u"Running"_s);
    } else {
        if (!m_process->pause())
            return;
        m_pausedSince.start();
        m_pause->setText(u"&Resume"_s);
        m_state->setText(u"Paused"_s);
    }
    refresh();
}

bool frmRun::askCancel() { return MsgBox(kCancelQuestion, vbYesNo | vbExclamation) == vbYes; }

void frmRun::cmdCancel_Click()
{
    if (!m_ended && askCancel())
        m_process->cancel();
}

void frmRun::closeEvent(QCloseEvent *event)
{
    if (isRunning()) {
        // The user's close asks first; the program's own (Corvane closing)
        // does not wait for an answer.
        if (event->spontaneous() && !askCancel()) {
            event->ignore();
            return;
        }
        m_process->cancel();
    }
    event->accept();
}

void frmRun::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (isRunning())
            cmdCancel_Click();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmRun::runEnded(int result)
{
    if (m_ended)
        return;
    if (m_listing)
        m_listing->cancel();
    m_counting = false;
    if (m_pausedSince.isValid()) {
        m_pausedMs += m_pausedSince.elapsed();
        m_pausedSince.invalidate();
    }
    followLog(true);
    m_reader.finish();
    if (m_output->isOpen())
        m_output->flush();
    m_result = result;
    refresh();
    m_ended = true;
    m_refresh.stop();

    const RunSummary &summary = m_reader.summary();
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation;
    QString report;
    if (result == RunCancelled) {
        report = u"Cancelled: "_s + StandingText(standing(), false) + u" done when the run was ended."_s;
        icon = QStyle::SP_MessageBoxWarning;
        m_state->setText(u"Cancelled"_s);
        setWindowTitle(u"Cancelled - "_s + kTitle);
    } else {
        report = ExitReport(result).trimmed();
        if (result < 0 || (result & (8 | 16)) != 0)
            icon = QStyle::SP_MessageBoxCritical;
        else if ((result & (2 | 4)) != 0)
            icon = QStyle::SP_MessageBoxWarning;
        m_state->setText(u"Finished"_s);
        setWindowTitle(u"Finished - "_s + kTitle);
        // The run went to its end; what failed, the report tells.
        m_bar->setRange(0, 1000);
        m_bar->setValue(1000);
    }
    if (m_bar->maximum() == 0)
        m_bar->setRange(0, 1000); // no longer busy
    m_speed->clear();
    m_timeLeft->clear();
    m_currentBar->setVisible(false);
    // The table's numbers, where there is one, are the run's own last word.
    if (summary.found && result != RunCancelled) {
        RunCounts c = m_reader.counts();
        c.copied = summary.files[Copied];
        c.skipped = summary.files[Skipped];
        c.mismatched = summary.files[Mismatch] + summary.dirs[Mismatch];
        c.failed = summary.files[Failed] + summary.dirs[Failed];
        c.extras = summary.files[Extras] + summary.dirs[Extras];
        showCounts(c);
    }
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this) * 2;
    m_reportIcon->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(iconSize, iconSize));
    m_report->setText(report);
    m_summary->setPlainText(summary.lines.join(u'\n'));
    m_summary->setVisible(summary.found);
    m_reportBox->setVisible(true);
    if (m_reader.errorLines() > 0)
        m_tabs->setCurrentWidget(m_errorsView);

    m_pause->setVisible(false);
    m_cancel->setVisible(false);
    m_openLog->setVisible(!m_switches.logFile.isEmpty());
    m_copyOutput->setVisible(true);
    m_saveOutput->setVisible(true);
    m_close->setVisible(true);
    m_close->setDefault(true);
    m_close->setFocus();
#ifdef Q_OS_WIN
    win32::SetTaskbarProgress(std::uintptr_t(winId()), win32::TaskbarState::None, 0, 0);
#endif
    emit finished(result);
}

QString frmRun::wholeOutput()
{
    if (!m_output->isOpen())
        return QString();
    m_output->flush();
    QFile file(m_output->fileName());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void frmRun::cmdCopyOutput_Click() { QGuiApplication::clipboard()->setText(wholeOutput()); }

void frmRun::cmdSaveOutput_Click()
{
    const QString path = SaveFileDialog(u"Save Output As"_s, QString(), u"Text Files (*.TXT)|*.TXT|All Files|*.*"_s,
                                        OFN_OVERWRITEPROMPT_FLAG);
    if (path.isEmpty())
        return;
    QFile target(path);
    auto fail = [&target] {
        MsgBox(u"Error: "_s + target.errorString() + u' ' + QString::number(int(target.error())), vbCritical);
    };
    if (!m_output->isOpen() || !target.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail();
        return;
    }
    m_output->flush();
    QFile source(m_output->fileName());
    if (!source.open(QIODevice::ReadOnly)) {
        MsgBox(u"Error: "_s + source.errorString(), vbCritical);
        return;
    }
#ifdef Q_OS_WIN
    // Notepad and the like take UTF-8 for what it is by its mark.
    if (target.write("\xEF\xBB\xBF", 3) != 3) {
        fail();
        return;
    }
#endif
    while (!source.atEnd()) {
        const QByteArray block = source.read(1 << 20);
        if (block.isEmpty() || target.write(block) != block.size()) {
            fail();
            return;
        }
    }
    if (!target.flush()) {
        fail();
        return;
    }
    target.close();
    if (target.error() != QFileDevice::NoError)
        fail();
}

void frmRun::cmdOpenLog_Click()
{
    const QString path = QDir::toNativeSeparators(logPath(m_switches.logFile));
    if (!QFileInfo::exists(path)) {
        MsgBox(u"The log file was not found:\n\n"_s + path, vbExclamation);
        return;
    }
    ShellOpen(path, QString(), QString(), QString(), 1);
}

int frmRun::Run(const QString &commandLine, const QString &processCommand, std::optional<ListingReading> listing,
                const KeepWaiting &keepWaiting, QPointer<frmRun> *window)
{
    QPointer<frmRun> run(new frmRun(commandLine, processCommand, std::move(listing)));
    if (window)
        *window = run;
    QEventLoop loop;
    int result = RunCancelled; // a window gone before it told its end was closed during the run
    bool ended = false;
    QObject::connect(run, &frmRun::finished, &loop, [&](int r) {
        result = r;
        ended = true;
        loop.quit();
    });
    QObject::connect(run, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer poll;
    poll.setInterval(55);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (keepWaiting && !keepWaiting()) {
            result = RunAbandoned;
            loop.quit();
        }
    });
    run->start();
    poll.start();
    if (run && !ended)
        loop.exec();
    if (result == RunAbandoned && run)
        run->close(); // Corvane's window has gone: the run goes with it
    return result;
}
