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
    // Like a new console on Windows the window comes to the front with the
    // keyboard. Without a window manager nothing else gives it the keyboard,
    // and the keys meant for PAUSE would go to Corvane's Execute button.
    raise();
    activateWindow();
    QTimer::singleShot(0, this, [this] {
        // Like cmd.exe, a command over the limit runs no step at all.
        if (m_command.size() > MaxCommandLength) {
            writeLines({TooLongLine()});
            end(TooLongStatus);
            return;
        }
        m_steps = SplitSteps(m_command);
        nextStep();
    });
}

namespace {
bool isModifier(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

// The key itself, whatever character the modifiers make of it.
quint32 keyOf(const QKeyEvent *event)
{
    return event->nativeScanCode() != 0 ? event->nativeScanCode() : quint32(event->key());
}
} // namespace

void ConsoleWindow::keyPressEvent(QKeyEvent *event)
{
    event->ignore(); // the steps read no keyboard
    // A modifier alone is no key press for PAUSE, and harmless when held.
    if (isModifier(event->key()))
        return;
    const quint32 key = keyOf(event);
    m_keysDown.insert(key);
    m_releases.remove(key); // it is held after all
    if (m_pausing)
        m_pauseKeyPressed = true;
}

void ConsoleWindow::keyReleaseEvent(QKeyEvent *event)
{
    event->ignore();
    const quint32 key = keyOf(event);
    if (event->isAutoRepeat() || !m_keysDown.contains(key))
        return;
    // Under X11 a held key repeats as a release and a press with one time
    // stamp, and the press may come too late for the release to be known as
    // a repeat: a release counts once no press of the key follows it soon.
    const quint64 release = ++m_releaseCount;
    m_releases.insert(key, release);
    QTimer::singleShot(kReleaseSettleMs, this, [this, key, release] {
        if (m_releases.value(key) != release)
            return;
        m_releases.remove(key);
        m_keysDown.remove(key);
        if (m_keysDown.isEmpty())
            keysUp();
    });
}

void ConsoleWindow::keysUp()
{
    if (m_pausing && m_pauseKeyPressed) {
        m_pausing = false;
        write(QStringLiteral("\n"));
        QTimer::singleShot(0, this, [this] { nextStep(); });
    } else if (m_endStatus) {
        finish(*m_endStatus);
    }
}

void ConsoleWindow::focusOutEvent(QFocusEvent *event)
{
    m_keysDown.clear();
    m_releases.clear();
    QPlainTextEdit::focusOutEvent(event);
    if (m_endStatus)
        finish(*m_endStatus);
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_finished)
        return;
    int status = m_endStatus.value_or(m_errorLevel);
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
        end(m_errorLevel);
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
        m_pauseKeyPressed = false;
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

void ConsoleWindow::end(int status)
{
    if (m_keysDown.isEmpty())
        finish(status);
    else
        m_endStatus = status;
}

void ConsoleWindow::finish(int status)
{
    m_finished = true;
    m_endStatus.reset();
    m_pausing = false;
    hide();
    emit finished(status);
}

} // namespace console
