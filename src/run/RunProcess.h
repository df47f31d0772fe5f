#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace console {
class StepRunner;
}
class QProcess;

// Runs a process command ("cmd.exe /c ...") exactly as the console would,
// with its output captured instead of shown: on Windows cmd.exe itself
// (without a window of its own), elsewhere the stand-in console's step rules
// (console::StepRunner), in Corvane's own process. Everything the run starts
// is one tree (a job object on Windows, a process group per program
// elsewhere), paused, resumed and ended as a whole.
class RunProcess : public QObject
{
    Q_OBJECT

public:
    explicit RunProcess(QObject *parent = nullptr);
    // A run still going is ended, tree and all.
    ~RunProcess() override;

    void start(const QString &processCommand);
    // Stops and continues the whole tree; no further step starts while paused.
    bool pause();
    bool resume();
    // Ends the whole tree; finished() follows with RunCancelled.
    void cancel();

    bool isRunning() const { return m_running; }
    bool isPaused() const { return m_paused; }
    // The bytes the run's programs have written so far as the system counts
    // them (files, and the output itself), or -1 where it is not known.
    qint64 writtenBytes();

signals:
    // The output as text, in pieces as it comes; carriage returns kept.
    void output(const QString &text);
    // Once: the exit code, or RunCannotStart, RunEndedAbnormally, RunCancelled (run/basShell.h).
    void finished(int result);

private:
    void end(int result);

    bool m_running = false;
    bool m_paused = false;
    bool m_cancelled = false;
#ifdef Q_OS_WIN
    void takeOutput(bool atEnd);
    QProcess *m_process = nullptr;
    struct Job;
    std::unique_ptr<Job> m_job;
    std::wstring m_commandLine; // handed to CreateProcessW as it is
    QByteArray m_pending;       // bytes of a line not yet ended
#else
    console::StepRunner *m_runner = nullptr;
    long m_group = 0;             // of the step that runs now
    qint64 m_writtenBefore = 0;   // by the steps that have ended
    qint64 m_writtenStep = 0;     // by the one that runs, as last read
#endif
};
