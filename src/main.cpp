#include "main_window/frmCorvane.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));

    frmCorvane window;
    window.Form_Load();
    window.show();
    // "corvane FILE": a file manager opens command and job files with Corvane.
    if (const QStringList arguments = QApplication::arguments(); arguments.size() == 2)
        QTimer::singleShot(0, &window, [&window, file = arguments.at(1)] { window.OpenCommandFile(file); });
    return app.exec();
}
