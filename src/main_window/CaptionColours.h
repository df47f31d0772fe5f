#pragma once

#include "main_window/Catalogue.h"

#include <QColor>
#include <QPalette>

#include <initializer_list>

// The colours a caption is drawn in so that it can be read on the window
// behind it. On a light window they are exactly the version colours; on a
// dark one (a dark or high-contrast theme) the black of the version key is
// the palette's own text colour, and each version colour is lightened until
// it stands out at least 4.5 to 1, the contrast asked of normal text.

// Contrast of two colours as the Web Content Accessibility Guidelines
// define it, from 1 (alike) to 21 (black on white).
double ContrastRatio(const QColor &a, const QColor &b);

// Whether light text reads better on the colour than dark text.
bool IsDarkColour(const QColor &colour);

// Whether the palette's window colour is dark.
bool IsDarkWindow(const QPalette &palette);

// The colour itself when it stands out at least minimum to 1 against every
// background, otherwise the least mix of it with toward that does; toward
// itself when none does.
QColor MixedToContrast(const QColor &colour, const QColor &toward, std::initializer_list<QColor> backgrounds,
                       double minimum);

// The colour itself when it stands out at least minimum to 1 against the
// background, otherwise the least mix of it with white that does.
QColor LightenedToContrast(const QColor &colour, const QColor &background, double minimum = 4.5);

// The caption colour of a version (keyLabel: the version key's black label)
// on the palette's window.
QColor VersionCaptionColour(VersionColour version, bool keyLabel, const QPalette &palette);

// The blue of a link, as readable as the version colours.
QColor LinkColour(const QPalette &palette);
