// Times one rebuild of the command line through the real window: a check box
// is toggled (which rebuilds through its change signal) many thousands of times.
// A second argument puts a list of that many characters into the exclude
// files box first, as a large drop would.
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"

#include <QApplication>
#include <QCheckBox>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const int listLength = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;

    frmCorvane window;
    window.show();
    QApplication::processEvents();
    auto *mirror = window.control<QCheckBox>("chkMirror");
    window.control<QCheckBox>("chkSubdirectories")->setChecked(true);
    QString list;
    for (int i = 0; list.size() < listLength; ++i)
        list += QStringLiteral("\"scan %1 of the yearly archive.pdf\" ").arg(i);
    setTextOf(window.control("txtExcludeFiles"), list.left(listLength));
    QApplication::processEvents();

    std::vector<double> micros;
    micros.reserve(size_t(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        mirror->setChecked(!mirror->isChecked());
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf("rebuilds: %d\nexclude list: %d characters\nmedian: %.2f us per rebuild\np90: %.2f us\n", rounds,
                listLength, micros[micros.size() / 2], micros[micros.size() * 9 / 10]);
    return 0;
}
