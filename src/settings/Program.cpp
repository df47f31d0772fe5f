#include "settings/Program.h"

#include "main_window/frmCorvane.h"

#include <QApplication>
#include <QTimer>

#ifdef Q_OS_WIN
#include "run/basShell_win.h"
#endif

int RunProgram(const QStringList &arguments, const SettingsLocation &location,
               const std::function<void(frmCorvane &)> &started)
{
    frmCorvane window(location);
#ifdef Q_OS_WIN
    // Nothing is left to do once the settings are saved; Windows takes the
    // windows away with the process.
    window.SetEndAtClose([] { win32::EndProcessNow(0); });
#endif
    window.Form_Load();
    window.show();
    if (arguments.size() == 2)
        QTimer::singleShot(0, &window, [&window, file = arguments.at(1)] { window.OpenCommandFile(file); });
    if (started)
        QTimer::singleShot(0, &window, [&window, started] { started(window); });
    return QApplication::exec();
}
