#pragma once

#include "run/OutputReader.h"
#include "run/RunProgress.h"
#include "run/basShell.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTemporaryFile;
class ListingJob;
class OutputView;
class RunProcess;

// Corvane's own window for a run (Options > Show Progress in Corvane): it
// runs the process command as the console would, reads the output as it
// comes (OutputReader) and shows the run live: the command, an overall bar
// against a listing of the same command, the file being copied, speed and
// time left, the counts, the errors, and the output itself. Pause and Resume
// stop and continue the run's whole process tree; Cancel asks, then ends it.
// At the end it shows the exit report's line, the summary table and, after
// errors, their list; it stays open until closed (or closes by itself, see
// frmCorvane::cmdExecute_Click).
class frmRun : public QWidget
{
    Q_OBJECT

public:
    // commandLine: the command as the command box shows it; processCommand:
    // what runs ("cmd.exe /c ..."); listing: the preview's listing of the
    // same command when it ran just before.
    frmRun(const QString &commandLine, const QString &processCommand, std::optional<ListingReading> listing);
    ~frmRun() override;

    // Shows the window and starts the run; finished() follows once.
    void start();
    bool isRunning() const;
    bool isPaused() const;
    int result() const { return m_result; }

    // Runs in a new window and waits for the run's end while the application
    // serves its events (so a second run may start inside), as RunAndWait
    // waits for the console. Returns the run's result (the exit code or a
    // RunResult); RunAbandoned when keepWaiting gave up, the run then ended
    // and its window closed. The window stays open after the run: window,
    // when given, points to it (null once it is closed).
    static int Run(const QString &commandLine, const QString &processCommand, std::optional<ListingReading> listing,
                   const KeepWaiting &keepWaiting, QPointer<frmRun> *window = nullptr);

    // How often the display follows the run: a run of many small files
    // prints faster than anyone reads, and drawing each line would slow it.
    static constexpr int RefreshMs = 200;
    // The lines of output the view keeps; the whole output is kept in a
    // temporary file for Copy Output and Save Output As.
    static constexpr int KeptLines = 5000;

signals:
    void finished(int result);

protected:
    // Closing during a run asks as Cancel does (without asking when the
    // program closes it), and ends the run.
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void cmdPause_Click();
    void cmdCancel_Click();
    void cmdCopyOutput_Click();
    void cmdSaveOutput_Click();
    void cmdOpenLog_Click();

private:
    void buildWindow();
    void take(const QString &text);
    void followLog(bool atEnd);
    void refresh();
    void showCounts(const RunCounts &counts);
    void runEnded(int result);
    bool askCancel();
    RunStanding standing();
    qint64 runningMs() const;
    QString wholeOutput();
    void showTaskbarProgress(int permille);

    QString m_commandLine;
    QString m_processCommand;
    ReportSwitches m_switches;
    std::optional<RunTotals> m_totals;
    bool m_counting = false;
    int m_result = 0;
    bool m_started = false;
    bool m_ended = false;

    RunProcess *m_process = nullptr;
    ListingJob *m_listing = nullptr;
    QString m_listingArguments;
    OutputReader m_reader;
    RateMeter m_meter;
    std::unique_ptr<QTemporaryFile> m_output;
    qint64 m_writtenBytes = -1;
    qsizetype m_errorsShown = 0;
    QTimer m_refresh;
    QElapsedTimer m_clock;
    qint64 m_pausedMs = 0;
    QElapsedTimer m_pausedSince;

    // The log file the report goes to when the console shows none of it.
    QFile m_log;
    qint64 m_logOffset = 0;
    bool m_logReady = false;
    qint64 m_logSizeBefore = -1; // -1: no such file before the run
    QDateTime m_logTimeBefore;
    QStringDecoder m_logDecoder;
    QByteArray m_logPending;

    QLineEdit *m_command = nullptr;
    QLabel *m_state = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_standing = nullptr;
    QLabel *m_currentFile = nullptr;
    QProgressBar *m_currentBar = nullptr;
    QLabel *m_speed = nullptr;
    QLabel *m_timeLeft = nullptr;
    QLabel *m_elapsed = nullptr;
    QLabel *m_copied = nullptr;
    QLabel *m_skipped = nullptr;
    QLabel *m_extras = nullptr;
    QLabel *m_mismatched = nullptr;
    QLabel *m_failed = nullptr;
    QWidget *m_reportBox = nullptr;
    QLabel *m_reportIcon = nullptr;
    QLabel *m_report = nullptr;
    QPlainTextEdit *m_summary = nullptr;
    QTabWidget *m_tabs = nullptr;
    OutputView *m_outputView = nullptr;
    QPlainTextEdit *m_errorsView = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_close = nullptr;
    QPushButton *m_copyOutput = nullptr;
    QPushButton *m_saveOutput = nullptr;
    QPushButton *m_openLog = nullptr;
};
