#pragma once

#include "console/ConsoleRules.h"

#include <QPlainTextEdit>
#include <QStringDecoder>

class QProcess;

namespace console {

// The window of corvane-cmd: runs the steps of one process command
// ("cmd.exe /c ...") one after the other, shows their output as it arrives,
// honours PAUSE, and reports the status the command ends with.
class ConsoleWindow : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ConsoleWindow(const QString &processCommand, QWidget *parent = nullptr);

    // Begins with the first step once the event loop runs.
    void start();

signals:
    // Sent once, when the last step has ended or the window was closed.
    void finished(int status);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The window's close: a running step is ended, a pause is given up.
    void closeEvent(QCloseEvent *event) override;

private:
    void write(const QString &text);
    void writeLines(const QStringList &lines);
    void nextStep();
    void run(const QString &program, const QStringList &arguments);
    void stepEnded();
    void finish(int status);

    QString m_command;
    QList<Step> m_steps;
    qsizetype m_index = 0;
    int m_errorLevel = 0;
    bool m_pausing = false;
    bool m_finished = false;
    QProcess *m_process = nullptr;
    QStringDecoder m_decoder;
    Screen m_screen;
};

} // namespace console
