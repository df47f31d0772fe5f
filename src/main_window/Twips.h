#pragma once

#include <QRect>

// Window lengths are designed in twips, 1440 to the inch: 15 to the pixel at
// 96 dots per inch. Every control, the canvas, the About window and the
// layout pass are measured so; this is where they become pixels.

struct Twips
{
    int left, top, width, height;
};

constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips) { return (twips * 2 + kTwipsPerPixel) / (2 * kTwipsPerPixel); }
// A size the window must reach: rounded up, so that it never falls short.
constexpr int pixelsAtLeast(int twips) { return (twips + kTwipsPerPixel - 1) / kTwipsPerPixel; }
// Edges are rounded, not sizes, so that controls that meet in twips meet in pixels.
inline QRect twipsToPixelRect(const Twips &g)
{
    const int left = twipsToPixels(g.left);
    const int top = twipsToPixels(g.top);
    return QRect(left, top, twipsToPixels(g.left + g.width) - left, twipsToPixels(g.top + g.height) - top);
}
