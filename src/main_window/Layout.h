#pragma once

#include "main_window/Catalogue.h"

// The layout pass of the main window as plain arithmetic: the window feeds in
// what it measures and applies what comes out. Every length is in twips.

enum class WindowShowState : quint8 { Normal, Minimized, Maximized };

struct LayoutInput
{
    int clientWidth = 0;
    int clientHeight = 0;
    int barWidth = 0;   // thickness of the vertical bar
    int barHeight = 0;  // thickness of the horizontal bar
    int hValue = 0;     // current bar values
    int vValue = 0;
    WindowShowState state = WindowShowState::Normal;
    double twipsPerPixelX = kTwipsPerPixel;
    double twipsPerPixelY = kTwipsPerPixel;
    int canvasWidth = kCanvasWidthTwips;
    int canvasHeight = kCanvasHeightTwips;
    int minClientWidth = 5000;
    int minClientHeight = 3500;
};

struct ScrollBarLayout
{
    bool visible = false;
    Twips geometry{0, 0, 0, 0};
    int max = 0;        // 0 while hidden
    int value = 0;      // the current value, held within 0..max
    int smallStep = 0;  // arrow click: one pixel
    int largeStep = 0;  // click in the track: sixteen pixels
};

struct LayoutResult
{
    // Nothing at all is to be changed (a minimized window).
    bool unchanged = false;
    // A maximized window goes back to the normal state before it is sized.
    bool restoreNormal = false;
    // The client size the window must have; differs from the input when the
    // window is to be resized.
    int clientWidth = 0;
    int clientHeight = 0;
    ScrollBarLayout hBar;
    ScrollBarLayout vBar;
    bool fillerVisible = false;
    Twips filler{0, 0, 0, 0};
    int canvasLeft = 0;
    int canvasTop = 0;

    bool resizeNeeded(const LayoutInput &in) const
    {
        return clientWidth != in.clientWidth || clientHeight != in.clientHeight;
    }
};

// The bars and the canvas are placed for the client size given (the size the
// window has now); the size the window should have comes out separately, so a
// caller that resizes runs the pass again on the new size.
LayoutResult layOutWindow(const LayoutInput &in);
