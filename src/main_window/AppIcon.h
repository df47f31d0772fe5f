#pragma once

#include <QIcon>

// The window icon: two folders with an arrow between them, drawn at 32 and
// 16 pixels so that no image file has to travel with the program. The
// Windows program file carries the 32-pixel drawing as corvane.ico for
// Explorer; a test keeps the two alike.
QIcon corvaneIcon();
