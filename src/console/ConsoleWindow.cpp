#include "console/ConsoleWindow.h"

#include "console/StepRunner.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace console {

ConsoleWindow::ConsoleWindow(const QString &processCommand, QWidget *parent)
    : QPlainTextEdit(parent),
      m_runner(new StepRunner(processCommand, QCoreApplication::applicationDirPath(), this))
{
    connect(m_runner, &StepRunner::output, this, &ConsoleWindow::write);
    connect(m_runner, &StepRunner::pausing, this, [this] {
        m_pausing = true;
        m_pauseKeyPressed = false;
    });
    connect(m_runner, &StepRunner::finished, this, &ConsoleWindow::end);
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
    m_runner->start();
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
        m_runner->continueAfterPause();
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
    if (m_endStatus) {
        finish(*m_endStatus);
        return;
    }
    // A running step is ended; the status comes back through end().
    m_runner->stop();
    if (m_endStatus)
        finish(*m_endStatus);
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
