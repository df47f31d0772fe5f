#include "main_window/ReadableTheme.h"
#include "settings/Program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setDesktopFileName(QStringLiteral(CORVANE_APP_ID)); // the desktop entry's name, for its icon on Wayland
    FollowThemeReadably();
    return RunProgram(QApplication::arguments());
}
