// Times a whole-form save followed by a whole-form load through the INI file,
// with every control set and both recent-folder lists full. One check box
// changes before each save, so every save really writes the file.
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "settings/CSettings.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    QTemporaryDir dir;
    const SettingsLocation location{dir.filePath(QStringLiteral("Settings.ini")),
                                    dir.filePath(QStringLiteral("user.conf"))};
    frmCorvane window(location);
    window.Form_Load();
    if (!window.settings()->SaveToINI()) {
        std::fprintf(stderr, "the INI file in %s cannot be written\n", qPrintable(dir.path()));
        return 1;
    }

    for (QWidget *c : window.controls()) {
        const std::optional<ControlKind> kind = controlKind(c);
        const QString name = c->objectName();
        if (kind == ControlKind::CheckBox) {
            setCheckValueOf(c, 1);
        } else if (kind == ControlKind::TextBox && name != u"txtCommandLine") {
            setTextOf(c, qobject_cast<QPlainTextEdit *>(c) ? QStringLiteral("*.tmp\n*.bak\n\"~*.*\"")
                                                           : QStringLiteral("value of %1").arg(name));
        } else if (kind == ControlKind::ComboBox) {
            auto *box = qobject_cast<QComboBox *>(c);
            for (int i = 0; i < 10; ++i)
                box->addItem(QStringLiteral("C:\\Users\\Someone\\Documents\\Folder %1").arg(i));
            setTextOf(c, QStringLiteral("D:\\Backup\\%1").arg(name));
        }
    }
    QWidget *toggled = window.control("chkMirror");
    QAction *save = window.menuItem("mnuFileSave");
    QAction *load = window.menuItem("mnuFileLoad");

    std::vector<double> millis;
    millis.reserve(size_t(rounds));
    for (int i = 0; i < rounds; ++i) {
        setCheckValueOf(toggled, checkValueOf(toggled) ? 0 : 1);
        const auto start = std::chrono::steady_clock::now();
        save->trigger();
        load->trigger();
        const auto end = std::chrono::steady_clock::now();
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(millis.begin(), millis.end());
    std::printf("save + load rounds: %d (file of %lld bytes)\nmedian: %.2f ms\np90: %.2f ms\nmax: %.2f ms\n"
                "target: under 10 ms\n",
                rounds, qint64(QFileInfo(location.iniPath).size()), millis[millis.size() / 2],
                millis[millis.size() * 9 / 10], millis.back());
    return 0;
}
