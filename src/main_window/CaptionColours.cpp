#include "main_window/CaptionColours.h"

#include <algorithm>
#include <cmath>

namespace {

// The relative luminance of a colour in sRGB.
double luminance(const QColor &colour)
{
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.red()) + 0.7152 * channel(rgb.green()) + 0.0722 * channel(rgb.blue());
}

QColor versionColour(VersionColour version)
{
    switch (version) {
    case VersionColour::XP026: return QColor(255, 0, 0);
    case VersionColour::XP027: return QColor(0, 0, 255);
    case VersionColour::V10: return QColor(0, 128, 0);
    case VersionColour::XP010: break;
    }
    return QColor(0, 0, 0);
}

} // namespace

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDarkColour(const QColor &colour)
{
    return ContrastRatio(colour, Qt::white) > ContrastRatio(colour, Qt::black);
}

bool IsDarkWindow(const QPalette &palette) { return IsDarkColour(palette.color(QPalette::Active, QPalette::Window)); }

QColor MixedToContrast(const QColor &colour, const QColor &toward, std::initializer_list<QColor> backgrounds,
                       double minimum)
{
    const QColor from = colour.toRgb();
    const QColor to = toward.toRgb();
    for (int step = 0; step <= 100; ++step) {
        const double t = step / 100.0;
        auto mix = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
        const QColor mixed(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
        if (std::all_of(backgrounds.begin(), backgrounds.end(),
                        [&](const QColor &background) { return ContrastRatio(mixed, background) >= minimum; }))
            return mixed;
    }
    return to;
}

QColor LightenedToContrast(const QColor &colour, const QColor &background, double minimum)
{
    return MixedToContrast(colour, Qt::white, {background}, minimum);
}

QColor VersionCaptionColour(VersionColour version, bool keyLabel, const QPalette &palette)
{
    const QColor colour = keyLabel ? QColor(0, 0, 0) : versionColour(version);
    if (!IsDarkWindow(palette))
        return colour;
    if (keyLabel || version == VersionColour::XP010)
        return palette.color(QPalette::Active, QPalette::WindowText);
    return LightenedToContrast(colour, palette.color(QPalette::Active, QPalette::Window));
}

QColor LinkColour(const QPalette &palette)
{
    const QColor blue(0, 0, 255);
    return IsDarkWindow(palette) ? LightenedToContrast(blue, palette.color(QPalette::Active, QPalette::Window)) : blue;
}
