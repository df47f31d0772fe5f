#include "main_window/ReadableTheme.h"

#include "main_window/CaptionColours.h"

#include <QApplication>
#include <QEvent>
#include <QProxyStyle>
#include <QStyleOption>
#include <QStyleFactory>

namespace {

constexpr double kTextContrast = 4.5;   // what normal text needs
constexpr double kGreyedContrast = 3.0; // greyed text: fainter than the rest, still legible
constexpr double kEdgeContrast = 3.0;   // what an edge, a box or a selection needs

// Mixed away from the background, toward black or white, until it reads.
QColor readableOn(const QColor &colour, std::initializer_list<QColor> backgrounds, double minimum)
{
    return MixedToContrast(colour, IsDarkColour(*backgrounds.begin()) ? Qt::white : Qt::black, backgrounds, minimum);
}

// A colour drawn at partial opacity, as it shows on the background.
QColor over(const QColor &colour, const QColor &background)
{
    const double a = colour.alphaF();
    auto mix = [a](float c, float b) { return a * c + (1 - a) * b; };
    const QColor b = background.toRgb();
    const QColor c = colour.toRgb();
    return QColor::fromRgbF(float(mix(c.redF(), b.redF())), float(mix(c.greenF(), b.greenF())),
                            float(mix(c.blueF(), b.blueF())));
}

void makeGroupReadable(QPalette &p, QPalette::ColorGroup group)
{
    using R = QPalette;
    auto c = [&](QPalette::ColorRole role) { return p.color(group, role); };
    auto set = [&](QPalette::ColorRole role, const QColor &colour) {
        if (colour != c(role))
            p.setColor(group, role, colour);
    };
    const double text = group == QPalette::Disabled ? kGreyedContrast : kTextContrast;

    // Alternate rows are a shade of the fields, never a light theme's white.
    if (IsDarkColour(c(R::AlternateBase)) != IsDarkColour(c(R::Base)))
        set(R::AlternateBase, MixedToContrast(c(R::Base), c(R::Text), {c(R::Base)}, 1.15));
    set(R::WindowText, readableOn(c(R::WindowText), {c(R::Window)}, text));
    set(R::Text, readableOn(c(R::Text), {c(R::Base), c(R::AlternateBase)}, text));
    set(R::ButtonText, readableOn(c(R::ButtonText), {c(R::Button)}, text));
    set(R::ToolTipText, readableOn(c(R::ToolTipText), {c(R::ToolTipBase)}, text));
    set(R::Link, readableOn(c(R::Link), {c(R::Base), c(R::Window)}, text));
    set(R::LinkVisited, readableOn(c(R::LinkVisited), {c(R::Base), c(R::Window)}, text));
    // Hint text stays fainter than typed text: the least mix from the field
    // toward the text that reads.
    if (ContrastRatio(over(c(R::PlaceholderText), c(R::Base)), c(R::Base)) < text)
        set(R::PlaceholderText, MixedToContrast(c(R::Base), c(R::Text), {c(R::Base)}, text));
    // A selection shows where it is, and its text reads on it.
    set(R::Highlight, readableOn(c(R::Highlight), {c(R::Base), c(R::Window)}, kEdgeContrast));
    set(R::HighlightedText, readableOn(c(R::HighlightedText), {c(R::Highlight)}, text));
    // The edges of boxes, fields, buttons and frames, drawn beside the window,
    // the buttons and the fields.
    for (QPalette::ColorRole edge : {R::Light, R::Midlight, R::Mid, R::Dark, R::Shadow})
        set(edge, readableOn(c(edge), {c(R::Window), c(R::Button), c(R::Base)}, kEdgeContrast));
}

// The program's style: the one it draws with, and the palette made readable
// whenever Qt derives the application's palette from the system's theme.
class ReadableStyle : public QProxyStyle
{
public:
    using QProxyStyle::polish;
    explicit ReadableStyle(QStyle *base) : QProxyStyle(base) {}

    void polish(QPalette &palette) override
    {
        QProxyStyle::polish(palette);
        palette = ReadablePalette(palette);
    }

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        // Greyed text is etched with a light copy beneath it; on a dark
        // window that copy outshines the text and blurs it.
        if (hint == SH_EtchDisabledText) {
            const QPalette &palette = option ? option->palette : widget ? widget->palette() : QApplication::palette();
            if (IsDarkWindow(palette))
                return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Styles that lose parts on a dark palette, as said in the header.
bool losesPartsOnDark(const QString &style)
{
    for (const char *name : {"fusion", "windowsvista", "windows11"})
        if (style.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

class ThemeFollower : public QObject
{
public:
    explicit ThemeFollower(QApplication *app) : QObject(app), m_native(QApplication::style()->name())
    {
        app->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The style is changed once the palette's change has reached every
        // window, not in the middle of it.
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && !m_queued) {
            m_queued = true;
            QMetaObject::invokeMethod(this, &ThemeFollower::follow, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void follow()
    {
        m_queued = false;
        const bool dark = IsDarkWindow(QApplication::palette());
        const QString base = dark && losesPartsOnDark(m_native) ? QStringLiteral("windows") : m_native;
        if (base != m_base) {
            if (QStyle *style = QStyleFactory::create(base)) {
                m_base = base;
                QApplication::setStyle(new ReadableStyle(style));
            }
        }
        // A palette a program sets itself (as the screenshots and tests do)
        // is not polished by the style: it is made readable here.
        if (QCoreApplication::testAttribute(Qt::AA_SetPalette)) {
            const QPalette now = QApplication::palette();
            const QPalette readable = ReadablePalette(now);
            if (readable != now)
                QApplication::setPalette(readable);
        }
    }

    const QString m_native; // the style the platform or the user chose
    QString m_base;         // the style drawn with now, inside ReadableStyle
    bool m_queued = false;
};

} // namespace

QPalette ReadablePalette(const QPalette &theme)
{
    if (!IsDarkWindow(theme))
        return theme;
    QPalette palette = theme;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        makeGroupReadable(palette, group);
    return palette;
}

void FollowThemeReadably() { new ThemeFollower(qApp); }
