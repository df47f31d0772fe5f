#pragma once

#include "console/ConsoleRules.h"

#include <QObject>
#include <QStringDecoder>

#include <functional>

class QProcess;

namespace console {

// Runs the steps of one command as cmd.exe would (ConsoleRules), one after
// the other, each program looked up by ProgramToRun, and tells what they
// print and how the command ends. No window: corvane-cmd's console window
// shows what it tells, and Corvane's run window reads it.
class StepRunner : public QObject
{
    Q_OBJECT

public:
    // command: the process command ("cmd.exe /c " may stand before it).
    // programFolder: where the copy engine is looked for when no Robocopy
    // is found (ProgramToRun).
    StepRunner(const QString &command, const QString &programFolder, QObject *parent = nullptr);
    ~StepRunner() override;

    // Called with each step's process before it starts (a process group of
    // its own, say).
    void setPrepareStep(std::function<void(QProcess &)> prepare) { m_prepare = std::move(prepare); }

    // Begins with the first step once the event loop runs.
    void start();
    // A PAUSE step waits until this is called.
    void continueAfterPause();
    // Stops before the next step: a step running now goes on to its end.
    void holdSteps(bool hold);
    // Ends the running step at once (killed) and runs no further step; the
    // command ends with AbnormalEndStatus.
    void stop();

    // The process of the step that runs now, or null.
    QProcess *process() const { return m_process; }
    bool isFinished() const { return m_finished; }

signals:
    // Text as it arrives: the steps' output, decoded in the system's
    // encoding, and the console's own lines (a program not found, a step not
    // run). Carriage returns are kept.
    void output(const QString &text);
    // A PAUSE step has written its prompt and waits for continueAfterPause().
    void pausing();
    // A step's process has started.
    void stepStarted();
    // Sent once, when the last step has ended or stop() was called.
    void finished(int status);

private:
    void nextStep();
    void nextStepLater();
    void run(const QString &program, const QStringList &arguments);
    void stepEnded(int errorLevel);
    void finish(int status);
    void writeLines(const QStringList &lines);

    QString m_command;
    QString m_programFolder;
    std::function<void(QProcess &)> m_prepare;
    QList<Step> m_steps;
    qsizetype m_index = 0;
    int m_errorLevel = 0;
    bool m_pausing = false;
    bool m_held = false;
    bool m_waitingForHold = false; // a step is due while held
    bool m_finished = false;
    QProcess *m_process = nullptr;
    QStringDecoder m_decoder;
};

} // namespace console
