#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

// The program's icon: two folders with an arrow between them. It is drawn
// from one description, so the window icon, the icons installed for the
// desktop and the scalable one never drift apart. The Windows program file
// carries the drawings at the usual sizes as corvane.ico, for Explorer's
// views from the smallest to the largest; a test keeps the two alike.
QIcon corvaneIcon();
// The icon at size by size pixels.
QImage corvaneIconImage(int size);
// The sizes of corvane.ico, and the file itself: 32-bit images with alpha,
// the largest compressed as PNG as Explorer expects it.
inline constexpr int kWindowsIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 96, 128, 256};
QByteArray corvaneIconIco();
// The icon as an SVG document.
QString corvaneIconSvg();
