#include "Themes.h"

#include <QApplication>

#include <iterator>

namespace {

QPalette whiteOnBlack()
{
    const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128), green(63, 240, 63);
    QPalette p(white, black, white, grey, grey, white, white, black, black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, green);
    return p;
}

// Qt derives every edge from the button colour, which is black here: the
// palette leaves all of them black.
QPalette yellowOnBlack()
{
    const QColor black(0, 0, 0), yellow(255, 255, 0);
    QPalette p(black, black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(role, yellow);
        p.setColor(QPalette::Disabled, role, QColor(0, 255, 0));
    }
    return p;
}

// What Qt 6.4 makes of the dark KDE colour scheme the screenshot step uses
// (tests/screenshots/kde-dark/kdeglobals): it reads the window, button,
// field and selection colours and derives the rest, which leaves Light
// darker than the window, the alternate rows white and the hint text black.
QPalette darkDesktop()
{
    // Roles in QPalette::ColorRole order, WindowText to PlaceholderText.
    const char *const normal[] = {"#ececec", "#2c2f34", "#16181a", "#212327", "#585e68", "#3b3f45", "#ececec",
                                  "#ffffff", "#ececec", "#16181b", "#222529", "#767676", "#348cd2", "#fafafa",
                                  "#2896f0", "#a064be", "#f7f7f7", "#000000", "#2c2f34", "#ececec", "#80000000"};
    const char *const disabled[] = {"#585e68", "#2c2f34", "#16181a", "#212327", "#585e68", "#3b3f45", "#585e68",
                                    "#ffffff", "#585e68", "#2c2f34", "#2c2f34", "#b1b1b1", "#3b3f45", "#212327",
                                    "#2896f0", "#a064be", "#f7f7f7", "#000000", "#2c2f34", "#ececec", "#80000000"};
    QPalette p;
    for (int role = 0; role < int(std::size(normal)); ++role) {
        if (role == QPalette::NoRole)
            continue;
        const auto r = QPalette::ColorRole(role);
        p.setColor(QPalette::Active, r, QColor::fromString(QLatin1StringView(normal[role])));
        p.setColor(QPalette::Inactive, r, QColor::fromString(QLatin1StringView(normal[role])));
        p.setColor(QPalette::Disabled, r, QColor::fromString(QLatin1StringView(disabled[role])));
    }
    return p;
}

QPalette blackOnWhite()
{
    const QColor black(0, 0, 0), white(255, 255, 255), grey(96, 96, 96);
    QPalette p(white, white);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(role, black);
        p.setColor(QPalette::Disabled, role, grey);
    }
    return p;
}

} // namespace

QList<Theme> Themes()
{
    return {{QStringLiteral("white_on_black"), whiteOnBlack()},
            {QStringLiteral("yellow_on_black"), yellowOnBlack()},
            {QStringLiteral("dark_desktop"), darkDesktop()},
            {QStringLiteral("black_on_white"), blackOnWhite()}};
}

ScopedAppPalette::ScopedAppPalette(const QPalette &palette) : m_previous(QApplication::palette())
{
    QApplication::setPalette(palette);
    QCoreApplication::sendPostedEvents();
}

ScopedAppPalette::~ScopedAppPalette()
{
    QApplication::setPalette(m_previous);
    QCoreApplication::sendPostedEvents();
}
