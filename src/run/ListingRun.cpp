#include "run/ListingRun.h"

#include "command/CommandWords.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <deque>

#ifdef Q_OS_WIN
#include "run/Listing_win.h"
#else
#include "console/ConsoleRules.h"

#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

QString ListingProgram()
{
#ifdef Q_OS_WIN
    const QString name = u"robocopy.exe"_s;
    QString found = QStandardPaths::findExecutable(name, {QDir::currentPath()});
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name);
    return found;
#else
    // The console looks for the copy engine beside itself.
    return console::ProgramToRun(u"ROBOCOPY.EXE"_s, QDir::currentPath(), qEnvironmentVariable("PATH"),
                                 QFileInfo(ConsoleProgram()).absolutePath());
#endif
}

frmListing::frmListing(QWidget *owner) : QDialog(owner)
{
    setObjectName(u"frmListing"_s);
    setWindowTitle(u"Corvane"_s);
    setWindowModality(Qt::WindowModal);
    auto *label = new QLabel(u"Listing what this run will change..."_s, this);
    label->setObjectName(u"lblListing"_s);
    auto *bar = new QProgressBar(this);
    bar->setRange(0, 0); // no end known: the bar shows that work goes on
    bar->setTextVisible(false);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setObjectName(u"cmdCancel"_s);
    cancel->setText(u"Cancel"_s);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    bar->setMinimumWidth(label->sizeHint().width() + fontMetrics().averageCharWidth() * 12);
}

// The output of a listing for a failure's details: the head whole, then
// only the last lines, so a listing of millions of files costs little.
class ListingJob::OutputKeeper
{
public:
    void add(const QString &line)
    {
        if (m_head.size() < kHeadChars) {
            m_head += line + u'\n';
            return;
        }
        m_tail.push_back(line);
        m_tailChars += line.size() + 1;
        while (m_tailChars > kTailChars && m_tail.size() > 1) {
            m_tailChars -= m_tail.front().size() + 1;
            m_tail.pop_front();
            ++m_dropped;
        }
    }
    QString text() const
    {
        QString out = m_head;
        if (m_dropped > 0)
            out += u"[... %1 lines left out ...]\n"_s.arg(m_dropped);
        for (const QString &line : m_tail)
            out += line + u'\n';
        return out;
    }

private:
    static constexpr qsizetype kHeadChars = 256 * 1024;
    static constexpr qsizetype kTailChars = 256 * 1024;
    QString m_head;
    std::deque<QString> m_tail;
    qsizetype m_tailChars = 0;
    qint64 m_dropped = 0;
};

QString DecodeConsoleOutput(QByteArrayView bytes)
{
#ifdef Q_OS_WIN
    const std::wstring wide = win32::FromOemCodePage(std::string_view(bytes.data(), size_t(bytes.size())));
    return QString::fromStdWString(wide);
#else
    return QString::fromLocal8Bit(bytes);
#endif
}

ListingJob::ListingJob(QObject *parent) : QObject(parent), m_kept(std::make_unique<OutputKeeper>()) {}

ListingJob::~ListingJob() { cancel(); }

void ListingJob::start(const QString &arguments, bool lowPriority)
{
    using Status = ListingOutcome::Status;
    const QString program = ListingProgram();
    m_running = true;
    if (program.isEmpty()) {
        QTimer::singleShot(0, this, [this] { end(Status::NotFound); });
        return;
    }
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProgram(program);
#ifdef Q_OS_WIN
    // The text goes to Robocopy as written, quotes and all, as cmd.exe would hand it on.
    m_process->setNativeArguments(arguments);
    if (lowPriority) {
        m_process->setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *a) {
            a->flags |= 0x00004000; // BELOW_NORMAL_PRIORITY_CLASS
        });
    }
#else
    // As the stand-in console splits a command's words.
    m_process->setArguments(SplitWords(arguments));
    if (lowPriority)
        m_process->setChildProcessModifier([] { [[maybe_unused]] const int ignored = ::nice(10); });
#endif
    connect(m_process, &QProcess::readyReadStandardOutput, this, [this] { takeLines(false); });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        takeLines(true);
        m_outcome.reading = m_reader.reading();
        m_outcome.output = m_kept->text();
        m_outcome.exitCode = exitCode;
        end(status == QProcess::NormalExit ? Status::Finished : Status::EndedAbnormally);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_outcome.output = m_process->errorString();
        end(Status::CannotStart);
    });
    m_process->start();
}

void ListingJob::takeLines(bool atEnd)
{
    m_pending += m_process->readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype nl = m_pending.indexOf('\n'); nl >= 0; nl = m_pending.indexOf('\n', start)) {
        const QString line = DecodeConsoleOutput(QByteArrayView(m_pending).sliced(start, nl - start));
        m_reader.addLine(line);
        m_kept->add(line.endsWith(u'\r') ? line.chopped(1) : line);
        start = nl + 1;
    }
    m_pending.remove(0, start);
    if (atEnd && !m_pending.isEmpty()) {
        const QString line = DecodeConsoleOutput(m_pending);
        m_reader.addLine(line);
        m_kept->add(line);
        m_pending.clear();
    }
}

void ListingJob::end(ListingOutcome::Status status)
{
    if (!m_running)
        return;
    m_running = false;
    m_outcome.status = status;
    if (m_process)
        m_process->disconnect(this);
    emit finished();
}

void ListingJob::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_outcome.status = ListingOutcome::Status::Cancelled;
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

ListingOutcome RunListing(const QString &arguments, QWidget *owner, const KeepWaiting &keepWaiting)
{
    using Status = ListingOutcome::Status;
    enum class End : quint8 { None, Finished, Cancelled, Abandoned };
    End end = End::None;
    QEventLoop loop;
    auto finish = [&](End why) {
        if (end == End::None)
            end = why;
        loop.quit();
    };
    frmListing progress(owner);
    ListingJob job;
    QObject::connect(&job, &ListingJob::finished, &loop, [&] { finish(End::Finished); });
    QObject::connect(&progress, &QDialog::rejected, &loop, [&] { finish(End::Cancelled); });
    QTimer poll;
    poll.setInterval(55);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (keepWaiting && !keepWaiting())
            finish(End::Abandoned);
    });
    QTimer showLater;
    showLater.setSingleShot(true);
    showLater.setInterval(ListingDialogDelayMs);
    QObject::connect(&showLater, &QTimer::timeout, &progress, [&progress] { progress.show(); });

    job.start(arguments);
    poll.start();
    showLater.start();
    // A start that fails at once has told so already.
    if (end == End::None)
        loop.exec();
    poll.stop();
    showLater.stop();
    progress.hide();

    if (end == End::Finished)
        return job.outcome();
    job.cancel();
    ListingOutcome outcome;
    outcome.status = end == End::Cancelled ? Status::Cancelled : Status::Abandoned;
    return outcome;
}
