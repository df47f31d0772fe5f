#include "main_window/frmCorvane.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));

    frmCorvane window;
    window.Form_Load();
    window.show();
    return app.exec();
}
