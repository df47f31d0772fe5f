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

namespace {

// The output of a listing for a failure's details: the head whole, then
// only the last lines, so a listing of millions of files costs little.
class OutputKeeper
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

QString decodeLine(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    const std::wstring wide = win32::FromOemCodePage(std::string_view(bytes.constData(), size_t(bytes.size())));
    return QString::fromStdWString(wide);
#else
    return QString::fromLocal8Bit(bytes);
#endif
}

} // namespace

ListingOutcome RunListing(const QString &arguments, QWidget *owner, const KeepWaiting &keepWaiting)
{
    using Status = ListingOutcome::Status;
    ListingOutcome outcome;
    const QString program = ListingProgram();
    if (program.isEmpty()) {
        outcome.status = Status::NotFound;
        return outcome;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProgram(program);
#ifdef Q_OS_WIN
    // The text goes to Robocopy as written, quotes and all, as cmd.exe would hand it on.
    process.setNativeArguments(arguments);
#else
    // As the stand-in console splits a command's words.
    process.setArguments(SplitWords(arguments));
#endif

    ListingReader reader;
    OutputKeeper kept;
    QByteArray pending;
    auto takeLines = [&](bool atEnd) {
        pending += process.readAllStandardOutput();
        qsizetype start = 0;
        for (qsizetype nl = pending.indexOf('\n'); nl >= 0; nl = pending.indexOf('\n', start)) {
            const QString line = decodeLine(pending.mid(start, nl - start));
            reader.addLine(line);
            kept.add(line.endsWith(u'\r') ? line.chopped(1) : line);
            start = nl + 1;
        }
        pending.remove(0, start);
        if (atEnd && !pending.isEmpty()) {
            const QString line = decodeLine(pending);
            reader.addLine(line);
            kept.add(line);
            pending.clear();
        }
    };

    enum class End : quint8 { None, Finished, FailedToStart, Cancelled, Abandoned };
    End end = End::None;
    QEventLoop loop;
    auto finish = [&](End why) {
        if (end == End::None)
            end = why;
        loop.quit();
    };
    frmListing progress(owner);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, [&] { takeLines(false); });
    QObject::connect(&process, &QProcess::finished, &loop, [&] { finish(End::Finished); });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(End::FailedToStart);
    });
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

    process.start();
    poll.start();
    showLater.start();
    // A start that fails at once has told so already.
    if (end == End::None)
        loop.exec();
    poll.stop();
    showLater.stop();
    progress.hide();

    switch (end) {
    case End::Cancelled:
    case End::Abandoned:
    case End::None:
        process.kill();
        process.waitForFinished(5000);
        outcome.status = end == End::Cancelled ? Status::Cancelled : Status::Abandoned;
        return outcome;
    case End::FailedToStart:
        outcome.status = Status::CannotStart;
        outcome.output = process.errorString();
        return outcome;
    case End::Finished:
        break;
    }
    takeLines(true);
    outcome.reading = reader.reading();
    outcome.output = kept.text();
    outcome.exitCode = process.exitCode();
    outcome.status = process.exitStatus() == QProcess::NormalExit ? Status::Finished : Status::EndedAbnormally;
    return outcome;
}
