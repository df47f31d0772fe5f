#pragma once

#include <QString>
#include <QStringView>

// Read-only view of the option controls, addressed by control name.
// The window answers from its widgets; tests answer from a plain map.
class OptionReader
{
public:
    virtual ~OptionReader() = default;

    // Check-box value: 0 unchecked, 1 checked, 2 grayed. Unknown names read 0.
    virtual qint16 checkValue(QLatin1StringView name) const = 0;
    // Text of a text box or combo box. Unknown names read empty.
    virtual QString text(QLatin1StringView name) const = 0;
};
