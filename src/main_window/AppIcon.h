#pragma once

#include <QIcon>

// The window icon: two folders with an arrow between them, drawn at 32 and
// 16 pixels so that no image file has to travel with the program.
QIcon corvaneIcon();
