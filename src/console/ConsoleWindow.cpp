#include "console/ConsoleWindow.h"

#include "command/CommandWords.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace console {

ConsoleWindow::ConsoleWindow(const QString &processCommand, QWidget *parent)
    : QPlainTextEdit(parent), m_command(::StripInterpreter(processCommand))
{
    setWindowTitle(processCommand);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMaximumBlockCount(9001); // the classic console's screen buffer
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(12, 12, 12));
    pal.setColor(QPalette::Text, QColor(204, 204, 204));
    setPalette(pal);
    const QFontMetrics fm(font);
    resize(fm.horizontalAdvance(QString(80, u'M')) + 2 * frameWidth() + verticalScrollBar()->sizeHint().width() + 8,
           fm.lineSpacing() * 25 + 2 * frameWidth() + 8);
}

void ConsoleWindow::start()
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

void ConsoleWindow::keyPressEvent(QKeyEvent *event)
{
    if (!m_pausing) {
        event->ignore();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return; // a modifier alone is no key press for PAUSE
    default:
        break;
    }
    m_pausing = false;
    write(QStringLiteral("\n"));
    QTimer::singleShot(0, this, [this] { nextStep(); });
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_finished)
        return;
    int status = m_errorLevel;
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
        status = AbnormalEndStatus;
    }
    finish(status);
}

void ConsoleWindow::write(const QString &text)
{
    m_screen.write(text);
    const QStringList finished = m_screen.takeFinished();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    QString replacement = finished.join(u'\n');
    if (!finished.isEmpty())
        replacement += u'\n';
    replacement += m_screen.current();
    cursor.insertText(replacement);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ConsoleWindow::writeLines(const QStringList &lines)
{
    for (const QString &line : lines)
        write(line + u'\n');
}

void ConsoleWindow::nextStep()
{
    if (m_finished)
        return;
    if (m_index >= m_steps.size()) {
        finish(m_errorLevel);
        return;
    }
    const Step &step = m_steps.at(m_index++);
    if (m_index > 1 && !StepRuns(m_steps.at(m_index - 2).after, m_errorLevel)) {
        QTimer::singleShot(0, this, [this] { nextStep(); });
        return;
    }
    if (!step.redirections.isEmpty() || step.piped) {
        writeLines({RedirectionLine(step)});
        m_errorLevel = RedirectionStatus;
        QTimer::singleShot(0, this, [this] { nextStep(); });
        return;
    }
    if (IsPause(step.command)) {
        // The error level is left as it was, as the real PAUSE does.
        write(QStringLiteral("Press any key to continue . . . "));
        m_pausing = true;
        return;
    }
    const QStringList words = ::SplitWords(step.command);
    if (words.isEmpty()) {
        QTimer::singleShot(0, this, [this] { nextStep(); });
        return;
    }
    const QString program = ProgramToRun(words.first(), QDir::currentPath(), qEnvironmentVariable("PATH"),
                                         QCoreApplication::applicationDirPath());
    if (program.isEmpty()) {
        writeLines(NotFoundLines(words.first()));
        m_errorLevel = NotFoundStatus;
        QTimer::singleShot(0, this, [this] { nextStep(); });
        return;
    }
    run(program, words.mid(1));
}

void ConsoleWindow::run(const QString &program, const QStringList &arguments)
{
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_decoder = QStringDecoder(QStringDecoder::System);
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { write(m_decoder.decode(m_process->readAllStandardOutput())); });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        write(m_decoder.decode(m_process->readAllStandardOutput()));
        m_errorLevel = status == QProcess::NormalExit ? exitCode : AbnormalEndStatus;
        stepEnded();
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        writeLines({QStringLiteral("The system cannot execute the specified program.")});
        m_errorLevel = CannotExecuteStatus;
        stepEnded();
    });
    m_process->start(program, arguments);
    m_process->closeWriteChannel(); // the steps read no keyboard
}

void ConsoleWindow::stepEnded()
{
    m_process->deleteLater();
    m_process = nullptr;
    QTimer::singleShot(0, this, [this] { nextStep(); });
}

void ConsoleWindow::finish(int status)
{
    m_finished = true;
    m_pausing = false;
    hide();
    emit finished(status);
}

} // namespace console
