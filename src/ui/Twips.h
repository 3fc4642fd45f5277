#pragma once

#include <QRect>
#include <QWidget>

namespace vlboot {

// Window geometry is designed in twips (1/1440 inch); on screen it becomes
// pixels at the screen's logical resolution: 15 twips per pixel at 96 dpi.
constexpr int TwipsToPixels(int twips, int dpi)
{
    // Rounded to the nearest pixel, halves away from zero.
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

// A rectangle given as left, top, width and height in twips.
constexpr QRect TwipsToPixels(int left, int top, int width, int height, int dpiX, int dpiY)
{
    return QRect(TwipsToPixels(left, dpiX), TwipsToPixels(top, dpiY),
                 TwipsToPixels(width, dpiX), TwipsToPixels(height, dpiY));
}

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
