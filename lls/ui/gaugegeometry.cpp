#include "lls/ui/gaugegeometry.h"

#include <cmath>

namespace GaugeGeometry {

namespace {

// The painter gets whole pixels; coordinates are truncated toward zero, never rounded.
QPoint pixel(float x, float y)
{
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

}

QPolygon Layout::band(float yLower, float yUpper) const
{
    const float right = centreX + barWidth;
    return QPolygon({pixel(centreX, yLower), pixel(centreX, yUpper), pixel(right, yUpper), pixel(right, yLower)});
}

Layout layout(int width, int height, float minimum, float maximum, float value, float tickStep)
{
    Layout g;
    g.centreX = width / 2;
    g.barWidth = width / 4;
    g.barHeight = (height * 14) / 16;
    g.bottom = (height * 30) / 32;
    g.levelHeight = g.barHeight * (value - minimum) / (maximum - minimum);

    const float tick = 9 * g.barWidth / 32;
    const float count = (maximum - minimum) / tickStep;
    // A step that is not positive, not a number or far too fine would never finish the loop.
    if (!(tickStep > 0) || !std::isfinite(count) || count > MaxTicks)
        return g;
    const float spacing = count > 0 ? g.barHeight / count : 0;
    for (int i = 0; i <= count; ++i) {
        const float y = g.bottom - i * spacing;
        Tick t;
        t.line = QLine(pixel(g.centreX - 2 * tick, y), pixel(g.centreX - tick, y));
        t.labelBox = QRectF(g.centreX / 8, y - 2 - 0.25f * spacing, 3 * tick, spacing);
        t.label = QString::number(minimum + i * tickStep, 'g', 6);
        g.ticks.append(t);
    }
    return g;
}

QPolygon rangeMarker(const Layout &layout, float y)
{
    const float x = layout.centreX + layout.barWidth;
    return QPolygon({pixel(x + 5, y), pixel(x + 18, y - 8), pixel(x + 18, y + 8)});
}

QVector<QRect> outputStripes(const Layout &layout)
{
    QVector<QRect> stripes;
    for (int offset = 0; offset < layout.barHeight; offset += 4)
        stripes.append(QRect(pixel(layout.centreX, layout.bottom - offset), QSize(static_cast<int>(layout.barWidth), 2)));
    return stripes;
}

QRect outputPointer(const Layout &layout, int width)
{
    return QRect(pixel((width * 15) / 32, layout.bottom - layout.levelHeight), QSize((width * 5) / 16, 4));
}

HysteresisLimits hysteresisLimits(float warningPercent, float hysteresisPercent)
{
    HysteresisLimits limits;
    limits.unpinnedPlus = warningPercent + hysteresisPercent;
    limits.unpinnedMinus = warningPercent - hysteresisPercent;
    limits.plus = limits.unpinnedPlus > 100 ? 100 : limits.unpinnedPlus;
    limits.minus = limits.unpinnedMinus < 0 ? 0 : limits.unpinnedMinus;
    return limits;
}

}
