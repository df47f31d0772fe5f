#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// The program's icon: two folders with an arrow between them. It is drawn
// from one description, so the window icon, the icons installed for the
// desktop and the scalable one never drift apart. The Windows program file
// carries the 32-pixel drawing as corvane.ico for Explorer; a test keeps the
// two alike.
QIcon corvaneIcon();
// The icon at size by size pixels.
QImage corvaneIconImage(int size);
// The icon as an SVG document.
QString corvaneIconSvg();
