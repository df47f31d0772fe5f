#include "console/StepRunner.h"

#include "command/CommandWords.h"

#include <QDir>
#include <QProcess>
#include <QTimer>

namespace console {

StepRunner::StepRunner(const QString &command, const QString &programFolder, QObject *parent)
    : QObject(parent), m_command(::StripInterpreter(command)), m_programFolder(programFolder)
{
}

StepRunner::~StepRunner()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void StepRunner::start()
{
    QTimer::singleShot(0, this, [this] {
        // Like cmd.exe, a command over the limit runs no step at all.
        if (m_command.size() > MaxCommandLength) {
            writeLines({TooLongLine()});
            finish(TooLongStatus);
            return;
        }
        m_steps = SplitSteps(m_command);
        nextStep();
    });
}

void StepRunner::continueAfterPause()
{
    if (!m_pausing)
        return;
    m_pausing = false;
    emit output(QStringLiteral("\n"));
    nextStepLater();
}

void StepRunner::holdSteps(bool hold)
{
    m_held = hold;
    if (!hold && m_waitingForHold) {
        m_waitingForHold = false;
        nextStepLater();
    }
}

void StepRunner::stop()
{
    if (m_finished)
        return;
    int status = m_errorLevel;
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
        m_process->deleteLater();
        m_process = nullptr;
        status = AbnormalEndStatus;
    }
    finish(status);
}

void StepRunner::writeLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + u'\n';
    emit output(text);
}

void StepRunner::nextStepLater()
{
    QTimer::singleShot(0, this, [this] { nextStep(); });
}

void StepRunner::nextStep()
{
    if (m_finished)
        return;
    if (m_held) {
        m_waitingForHold = true;
        return;
    }
    if (m_index >= m_steps.size()) {
        finish(m_errorLevel);
        return;
    }
    const Step &step = m_steps.at(m_index++);
    if (m_index > 1 && !StepRuns(m_steps.at(m_index - 2).after, m_errorLevel)) {
        nextStepLater();
        return;
    }
    if (!step.redirections.isEmpty() || step.piped) {
        writeLines({RedirectionLine(step)});
        m_errorLevel = RedirectionStatus;
        nextStepLater();
        return;
    }
    if (IsPause(step.command)) {
        // The error level is left as it was, as the real PAUSE does.
        emit output(QStringLiteral("Press any key to continue . . . "));
        m_pausing = true;
        emit pausing();
        return;
    }
    const QStringList words = ::SplitWords(step.command);
    if (words.isEmpty()) {
        nextStepLater();
        return;
    }
    const QString program = ProgramToRun(words.first(), QDir::currentPath(), qEnvironmentVariable("PATH"),
                                         m_programFolder);
    if (program.isEmpty()) {
        writeLines(NotFoundLines(words.first()));
        m_errorLevel = NotFoundStatus;
        nextStepLater();
        return;
    }
    run(program, words.mid(1));
}

void StepRunner::run(const QString &program, const QStringList &arguments)
{
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice()); // the steps read no keyboard
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    if (m_prepare)
        m_prepare(*m_process);
    m_decoder = QStringDecoder(QStringDecoder::System);
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { emit output(m_decoder.decode(m_process->readAllStandardOutput())); });
    connect(m_process, &QProcess::started, this, &StepRunner::stepStarted);
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        emit output(m_decoder.decode(m_process->readAllStandardOutput()));
        stepEnded(status == QProcess::NormalExit ? exitCode : AbnormalEndStatus);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        writeLines({QStringLiteral("The system cannot execute the specified program.")});
        stepEnded(CannotExecuteStatus);
    });
    m_process->start();
}

void StepRunner::stepEnded(int errorLevel)
{
    m_errorLevel = errorLevel;
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    nextStepLater();
}

void StepRunner::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_pausing = false;
    emit finished(status);
}

} // namespace console
