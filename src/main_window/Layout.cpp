#include "main_window/Layout.h"

#include <algorithm>
#include <cmath>

LayoutResult layOutWindow(const LayoutInput &in)
{
    LayoutResult r;
    r.clientWidth = in.clientWidth;
    r.clientHeight = in.clientHeight;
    if (in.state == WindowShowState::Minimized) {
        r.unchanged = true;
        return r;
    }

    // The window never shows more than the canvas and never less than the
    // minimum client area (which itself never exceeds the canvas). Maximizing
    // gives a normal window that shows exactly the whole canvas.
    if (in.state == WindowShowState::Maximized) {
        r.restoreNormal = true;
        r.clientWidth = in.canvasWidth;
        r.clientHeight = in.canvasHeight;
    } else {
        r.clientWidth = std::clamp(in.clientWidth, std::min(in.minClientWidth, in.canvasWidth), in.canvasWidth);
        r.clientHeight = std::clamp(in.clientHeight, std::min(in.minClientHeight, in.canvasHeight), in.canvasHeight);
    }

    const int cw = in.clientWidth;
    const int ch = in.clientHeight;
    const int W = in.barWidth;
    const int H = in.barHeight;

    // A bar shows when the canvas does not fit in the room the other bar
    // leaves; one bar appearing can make the other necessary, never the
    // reverse, so two rounds settle it.
    bool showH = cw < in.canvasWidth;
    bool showV = ch < in.canvasHeight;
    for (int round = 0; round < 2; ++round) {
        showH = showH || cw - (showV ? W : 0) < in.canvasWidth;
        showV = showV || ch - (showH ? H : 0) < in.canvasHeight;
    }

    // Steps follow the screen: one pixel per arrow click, sixteen per page.
    const int smallX = int(std::lround(in.twipsPerPixelX));
    const int smallY = int(std::lround(in.twipsPerPixelY));
    r.hBar.smallStep = smallX;
    r.hBar.largeStep = 16 * smallX;
    r.vBar.smallStep = smallY;
    r.vBar.largeStep = 16 * smallY;

    // The ranges always leave room for the other bar's thickness, shown or not.
    r.hBar.visible = showH;
    if (showH) {
        r.hBar.max = std::max(0, in.canvasWidth + W - cw);
        r.hBar.value = std::clamp(in.hValue, 0, r.hBar.max);
    }
    r.vBar.visible = showV;
    if (showV) {
        r.vBar.max = std::max(0, in.canvasHeight + H - ch);
        r.vBar.value = std::clamp(in.vValue, 0, r.vBar.max);
    }

    r.fillerVisible = showH && showV;
    // A bar without its neighbour runs to the client area's far edge.
    r.hBar.geometry = {0, ch - H, std::max(0, cw - (showV ? W : 0)), H};
    r.vBar.geometry = {cw - W, 0, W, std::max(0, ch - (showH ? H : 0))};
    r.filler = {cw - W, ch - H, W, H};

    r.canvasLeft = -r.hBar.value;
    r.canvasTop = -r.vBar.value;
    return r;
}
