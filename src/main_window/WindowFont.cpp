#include "main_window/WindowFont.h"

#include "main_window/Catalogue.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

namespace {
constexpr qreal kLargestPointSize = 8.0;
constexpr qreal kSmallestPointSize = 5.0;
constexpr qreal kStep = 0.25;
constexpr int kLowestTextControlTwips = 195; // labels and the Logging check boxes

QString withoutMnemonic(const char *caption)
{
    QString text = QString::fromUtf8(caption);
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == u'&')
            text.remove(i, 1); // "&&" keeps one ampersand: the loop skips it
    return text;
}

// Pixels a caption needs in a control of its kind at this font; 0 for
// controls without a caption.
int captionWidthNeeded(const ControlSpec &entry, const QFont &font)
{
    if (!entry.caption || !*entry.caption)
        return 0;
    const QFontMetrics fm(font);
    const int text = fm.horizontalAdvance(withoutMnemonic(entry.caption));
    const QStyle *style = QApplication::style();
    switch (entry.kind) {
    case ControlKind::CheckBox:
        // The indicator and the gap after it come before the text.
        return style->pixelMetric(QStyle::PM_IndicatorWidth) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + text;
    case ControlKind::Frame:
        // The title is drawn indented past the frame's corner.
        return text + 2 * fm.averageCharWidth();
    case ControlKind::Button:
        return text + 2 * style->pixelMetric(QStyle::PM_ButtonMargin);
    case ControlKind::Label:
        return text;
    case ControlKind::TextBox:
    case ControlKind::ComboBox:
        break;
    }
    return 0;
}

} // namespace

QFont fitWindowFont(const QFont &base)
{
    QFont font = base;
    const qreal start = qMin(base.pointSizeF() > 0 ? base.pointSizeF() : kLargestPointSize, kLargestPointSize);
    const int lowest = twipsToPixels(kLowestTextControlTwips);
    for (qreal size = start; size >= kSmallestPointSize; size -= kStep) {
        font.setPointSizeF(size);
        if (QFontMetrics(font).height() > lowest)
            continue;
        bool fits = true;
        for (const ControlSpec &entry : controlCatalogue()) {
            if (captionWidthNeeded(entry, font) > twipsToPixels(entry.geometry.width)) {
                fits = false;
                break;
            }
        }
        if (fits)
            return font;
    }
    font.setPointSizeF(kSmallestPointSize);
    return font;
}
