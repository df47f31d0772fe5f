#pragma once

#include <QPalette>

// Every window of the program stays readable under whatever theme the system
// or the user picks: light, dark or high contrast.
//
// Two things go wrong under a dark palette when nothing is done. Some styles
// do not draw every part from the palette: Windows Vista's style paints
// buttons with the light faces of the system's visual theme, under the
// palette's light button text; Fusion takes every edge from the window colour
// made darker, which on black is black. And the theme's own palette may
// leave the colours of edges, alternate rows or hint text as a light theme
// would have them. So on a dark palette the program draws with the classic
// Windows style instead of those two, as Windows itself draws high contrast:
// it takes every edge, face and mark from the palette. And the palette's
// colours for them are made to stand out against the faces they are drawn
// on. Other styles (a desktop's own) are left to draw their dark palettes.

// The palette itself on a light window. On a dark one: the text colours read
// at 4.5 to 1 on the faces they are drawn on (greyed text at 3 to 1); edges
// (Light, Midlight, Mid, Dark, Shadow) and the selection stand out at 3 to 1
// against the window, the buttons and the fields; alternate rows stay a
// shade of the fields. Applying it twice changes nothing more.
QPalette ReadablePalette(const QPalette &theme);

// Sets the application's style for the palette it has now, and again whenever
// the palette changes (a theme picked while the program runs). Called once,
// right after the QApplication is made and before any window.
void FollowThemeReadably();
