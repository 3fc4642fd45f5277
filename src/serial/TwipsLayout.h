#pragma once

#include "Twips.h"

#include <QWidget>

namespace vlboot {

// A new control named `name` inside `container`, placed by its twips at the
// container's logical resolution. For the windows only (needs Qt Widgets).
template <typename Control>
Control* PlaceControl(QWidget* container, const char* name, int left, int top, int width, int height)
{
    auto* control = new Control(container);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(
        TwipsToPixels(left, top, width, height, container->logicalDpiX(), container->logicalDpiY()));
    return control;
}

} // namespace vlboot
