#pragma once

#include <QList>
#include <QPalette>
#include <QString>

// Themes a user may pick, as the palettes a program gets from them: the set
// every window is drawn under by the screenshot step and checked under by
// the tests. A new window needs no palettes of its own: it goes through these.
struct Theme
{
    QString name; // also the start of the screenshots' file names
    QPalette palette;
};

// White on black (as Windows' High Contrast Black), yellow on black with
// the edges all black, a dark desktop scheme as Qt reads it, and black on
// white (as High Contrast White).
QList<Theme> Themes();

// The application's palette for one scope, as a change of theme sets it:
// the widgets learn of it through posted events, which are delivered here.
class ScopedAppPalette
{
public:
    explicit ScopedAppPalette(const QPalette &palette);
    ~ScopedAppPalette();
    ScopedAppPalette(const ScopedAppPalette &) = delete;
    ScopedAppPalette &operator=(const ScopedAppPalette &) = delete;

private:
    QPalette m_previous;
};
