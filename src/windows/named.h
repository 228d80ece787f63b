#pragma once

#include <QLatin1String>

// Gives a control its object name, so tests and the code find it by the name
// the program's documentation uses ("Command1", "Combo3"...).
template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}
