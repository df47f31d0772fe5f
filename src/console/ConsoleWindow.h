#pragma once

#include "console/ConsoleRules.h"

#include <QHash>
#include <QPlainTextEdit>
#include <QSet>

#include <optional>

namespace console {

class StepRunner;

// The window of corvane-cmd: runs the steps of one process command
// ("cmd.exe /c ...") one after the other, shows their output as it arrives,
// honours PAUSE, and reports the status the command ends with.
class ConsoleWindow : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ConsoleWindow(const QString &processCommand, QWidget *parent = nullptr);

    // Takes the keyboard and begins with the first step once the event loop
    // runs. The window is shown first.
    void start();

signals:
    // Sent once, when the last step has ended or the window was closed.
    void finished(int status);

protected:
    // No key pressed in the window is still down when it goes: a held key
    // would repeat into the window below, where a focused Execute button
    // would start the command once more. So PAUSE goes on when the keys
    // pressed are up again, and at the end of the command the window waits
    // for them.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    // Without the keyboard no release arrives, and the keys are another
    // window's: they count as up.
    void focusOutEvent(QFocusEvent *event) override;
    // The window's close: a running step is ended, a pause is given up.
    void closeEvent(QCloseEvent *event) override;

private:
    void write(const QString &text);
    // The command has ended: finish once no key is down.
    void end(int status);
    void keysUp();
    void finish(int status);

    StepRunner *m_runner = nullptr;
    bool m_pausing = false;
    bool m_pauseKeyPressed = false; // a key went down during this PAUSE
    QSet<quint32> m_keysDown;       // pressed in the window, not yet released for good
    QHash<quint32, quint64> m_releases; // keys released, unless a press follows soon
    quint64 m_releaseCount = 0;
    static constexpr int kReleaseSettleMs = 50;
    std::optional<int> m_endStatus; // the command ended with it; keys are still down
    bool m_finished = false;
    Screen m_screen;
};

} // namespace console
