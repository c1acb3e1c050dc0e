#ifndef GAUGEGEOMETRY_H
#define GAUGEGEOMETRY_H

#include <QLine>
#include <QPolygon>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QVector>

// Where the gauges draw, worked out from the widget's size and scale alone. The paint events
// only draw what these return, so tests can check rendered pixels at exact positions.
namespace GaugeGeometry {

// A step that would give more ticks than this is a mistake, not a scale: no ticks are drawn.
constexpr int MaxTicks = 1000;

struct Tick
{
    QLine line;
    QRectF labelBox;  // the label is drawn right-aligned at the top of this box
    QString label;
};

struct Layout
{
    // The integer divisions of the width and height are kept, as floats.
    float centreX = 0;      // w / 2, also the bar's left edge
    float bottom = 0;       // (h * 30) / 32
    float barWidth = 0;     // w / 4
    float barHeight = 0;    // (h * 14) / 16
    float levelHeight = 0;  // the value's share of the bar height
    QVector<Tick> ticks;

    float yOfPercent(float percent) const { return bottom - percent / 100 * barHeight; }
    // The full width of the bar between two heights, corners truncated to whole pixels.
    QPolygon band(float yLower, float yUpper) const;
};

Layout layout(int width, int height, float minimum, float maximum, float value, float tickStep);

// The measuring range marker: a triangle right of the bar, pointing left at height y.
QPolygon rangeMarker(const Layout &layout, float y);

// The output gauge's ruled look: 2-pixel stripes every 4 pixels up from the bottom.
QVector<QRect> outputStripes(const Layout &layout);
// The output pointer, 4 pixels high, wider than the bar on both sides.
QRect outputPointer(const Layout &layout, int width);

// The hysteresis line's percentages on either side of the warning level, kept within the bar.
struct HysteresisLimits
{
    float plus = 0;   // warning + hysteresis, at most 100
    float minus = 0;  // warning - hysteresis, at least 0
    float unpinnedPlus = 0;
    float unpinnedMinus = 0;
};
HysteresisLimits hysteresisLimits(float warningPercent, float hysteresisPercent);

}

#endif
