// corvane-cmd: the stand-in for cmd.exe and its console window where there is
// none. Corvane starts it with the whole process command ("cmd.exe /c ...")
// as its single argument. It runs the steps of the command one after the
// other in a window of its own, shows their output as it arrives, and ends
// with the exit code of the last step.

#include "run/ConsoleRules.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

class ConsoleWindow : public QPlainTextEdit
{
public:
    explicit ConsoleWindow(const QString &processCommand)
        : m_steps(console::SplitSteps(StripInterpreter(processCommand)))
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

    void start() { QTimer::singleShot(0, this, [this] { nextStep(); }); }

    // The window's close: a running step is ended, a pause is given up.
    void requestClose() { close(); }

protected:
    void keyPressEvent(QKeyEvent *event) override
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

    void closeEvent(QCloseEvent *event) override
    {
        event->accept();
        if (m_finished)
            return;
        int code = m_errorLevel;
        if (m_process) {
            m_process->disconnect(this);
            m_process->kill();
            m_process->waitForFinished(5000);
            code = console::AbnormalEndStatus;
        }
        finish(code);
    }

private:
    void write(const QString &text)
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

    void writeLines(const QStringList &lines)
    {
        for (const QString &line : lines)
            write(line + u'\n');
    }

    void nextStep()
    {
        if (m_finished)
            return;
        if (m_index >= m_steps.size()) {
            finish(m_errorLevel);
            return;
        }
        const QString step = m_steps.at(m_index++);
        if (console::IsPause(step)) {
            // The error level is left as it was, as the real PAUSE does.
            write(QStringLiteral("Press any key to continue . . . "));
            m_pausing = true;
            return;
        }
        const QStringList words = SplitWords(step);
        if (words.isEmpty()) {
            QTimer::singleShot(0, this, [this] { nextStep(); });
            return;
        }
        const QString program = console::FindProgram(words.first(), QDir::currentPath(), qEnvironmentVariable("PATH"));
        if (program.isEmpty()) {
            writeLines(console::NotFoundLines(words.first()));
            m_errorLevel = console::NotFoundStatus;
            QTimer::singleShot(0, this, [this] { nextStep(); });
            return;
        }
        run(program, words.mid(1));
    }

    void run(const QString &program, const QStringList &arguments)
    {
        m_process = new QProcess(this);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_decoder = QStringDecoder(QStringDecoder::System);
        connect(m_process, &QProcess::readyReadStandardOutput, this,
                [this] { write(m_decoder.decode(m_process->readAllStandardOutput())); });
        connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
            write(m_decoder.decode(m_process->readAllStandardOutput()));
            m_errorLevel = status == QProcess::NormalExit ? exitCode : console::AbnormalEndStatus;
            stepEnded();
        });
        connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            writeLines({QStringLiteral("The system cannot execute the specified program.")});
            m_errorLevel = console::CannotExecuteStatus;
            stepEnded();
        });
        m_process->start(program, arguments);
        m_process->closeWriteChannel(); // the steps read no keyboard
    }

    void stepEnded()
    {
        m_process->deleteLater();
        m_process = nullptr;
        QTimer::singleShot(0, this, [this] { nextStep(); });
    }

    void finish(int code)
    {
        m_finished = true;
        m_pausing = false;
        hide();
        QCoreApplication::exit(code);
    }

    QStringList m_steps;
    qsizetype m_index = 0;
    int m_errorLevel = 0;
    bool m_pausing = false;
    bool m_finished = false;
    QProcess *m_process = nullptr;
    QStringDecoder m_decoder;
    console::Screen m_screen;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-cmd"));
    QApplication::setQuitOnLastWindowClosed(false); // the exit code is set by the window

    const QString processCommand = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    ConsoleWindow window(processCommand);

    // A request to end (logout, kill) acts like closing the window.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char byte;
            [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
            window.requestClose();
        });
        struct sigaction sa = {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    window.show();
    window.start();
    return app.exec();
}
