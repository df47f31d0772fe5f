#pragma once

#include <QFont>

// The window's one font: the platform's default family at the largest size
// (8 points at most, the classic dialog size) at which every caption of the
// catalogue fits its control and one line of text fits the lowest control.
QFont fitWindowFont(const QFont &base);

