#include "run/RunProcess.h"

#include "run/ListingRun.h"
#include "run/basShell.h"

#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_WIN
#include "run/ProcessTree_win.h"
#else
#include "console/StepRunner.h"
#include "run/ProcessTree_posix.h"
#endif

RunProcess::RunProcess(QObject *parent) : QObject(parent) {}

void RunProcess::end(int result)
{
    if (!m_running)
        return;
    m_running = false;
    m_paused = false;
    emit finished(m_cancelled ? int(RunCancelled) : result);
}

#ifdef Q_OS_WIN

struct RunProcess::Job
{
    win32::RunJob *job = win32::CreateRunJob();
    ~Job() { win32::CloseRunJob(job); }
};

RunProcess::~RunProcess()
{
    if (m_process && m_running) {
        m_process->disconnect(this);
        win32::EndJob(m_job ? m_job->job : nullptr, 1);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void RunProcess::start(const QString &processCommand)
{
    m_running = true;
    m_job = std::make_unique<Job>();
    m_commandLine = processCommand.toStdWString();
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProgram(QStringLiteral("cmd.exe"));
    // The command goes to Windows whole, as the console's run hands it on;
    // cmd.exe starts suspended, so that it is in the job before it starts
    // anything, and without a console window of its own.
    m_process->setCreateProcessArgumentsModifier([this](QProcess::CreateProcessArguments *a) {
        a->applicationName = nullptr;
        a->arguments = m_commandLine.data();
        a->flags |= 0x00000004 /* CREATE_SUSPENDED */ | 0x08000000 /* CREATE_NO_WINDOW */;
    });
    connect(m_process, &QProcess::started, this,
            [this] { win32::AdoptSuspended(m_job->job, static_cast<unsigned long>(m_process->processId())); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] { takeOutput(false); });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        takeOutput(true);
        end(status == QProcess::NormalExit ? exitCode : int(RunEndedAbnormally));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end(RunCannotStart);
    });
    m_process->start();
}

void RunProcess::takeOutput(bool atEnd)
{
    m_pending += m_process->readAllStandardOutput();
    // Whole lines and returns only: a character of the code page never
    // holds the byte of a line break or a return.
    qsizetype cut = m_pending.size();
    if (!atEnd) {
        while (cut > 0 && m_pending.at(cut - 1) != '\n' && m_pending.at(cut - 1) != '\r')
            --cut;
    }
    if (cut == 0)
        return;
    const QString text = DecodeConsoleOutput(QByteArrayView(m_pending).first(cut));
    m_pending.remove(0, cut);
    emit output(text);
}

bool RunProcess::pause()
{
    if (!m_running || m_paused)
        return false;
    m_paused = win32::SuspendJob(m_job->job, true);
    return m_paused;
}

bool RunProcess::resume()
{
    if (!m_running || !m_paused)
        return false;
    win32::SuspendJob(m_job->job, false);
    m_paused = false;
    return true;
}

void RunProcess::cancel()
{
    if (!m_running)
        return;
    m_cancelled = true;
    if (!win32::EndJob(m_job->job, 1))
        m_process->kill();
}

qint64 RunProcess::writtenBytes() { return m_job ? win32::JobWrittenBytes(m_job->job) : -1; }

#else

RunProcess::~RunProcess()
{
    if (m_running && m_group > 0)
        posix::KillGroup(m_group);
}

void RunProcess::start(const QString &processCommand)
{
    m_running = true;
    // The console looks for the copy engine beside itself.
    m_runner = new console::StepRunner(processCommand, QFileInfo(ConsoleProgram()).absolutePath(), this);
    m_runner->setPrepareStep([](QProcess &process) { process.setChildProcessModifier(posix::LeadOwnGroup); });
    connect(m_runner, &console::StepRunner::output, this, &RunProcess::output);
    // Nobody is at a keyboard for a PAUSE typed into the command.
    connect(m_runner, &console::StepRunner::pausing, m_runner, &console::StepRunner::continueAfterPause,
            Qt::QueuedConnection);
    connect(m_runner, &console::StepRunner::stepStarted, this, [this] {
        m_writtenBefore += m_writtenStep;
        m_writtenStep = 0;
        m_group = long(m_runner->process()->processId());
    });
    connect(m_runner, &console::StepRunner::finished, this, [this](int status) {
        m_group = 0;
        end(status);
    });
    m_runner->start();
}

bool RunProcess::pause()
{
    if (!m_running || m_paused)
        return false;
    m_runner->holdSteps(true);
    if (m_group > 0)
        posix::StopGroup(m_group);
    m_paused = true;
    return true;
}

bool RunProcess::resume()
{
    if (!m_running || !m_paused)
        return false;
    if (m_group > 0)
        posix::ContinueGroup(m_group);
    m_paused = false;
    m_runner->holdSteps(false);
    return true;
}

void RunProcess::cancel()
{
    if (!m_running)
        return;
    m_cancelled = true;
    // The whole group first: a step's own children go with it.
    if (m_group > 0)
        posix::KillGroup(m_group);
    m_runner->stop();
}

qint64 RunProcess::writtenBytes()
{
    if (m_group > 0) {
        const qint64 step = posix::WrittenBytes(m_group);
        if (step < 0)
            return m_writtenStep > 0 || m_writtenBefore > 0 ? m_writtenBefore + m_writtenStep : -1;
        m_writtenStep = step;
    }
    return m_writtenBefore + m_writtenStep;
}

#endif
