#include "lls/ui/gaugewidget.h"

#include <QPainter>

#include <cmath>

namespace {

constexpr int PreferredWidth = 150;
constexpr int PreferredHeight = 250;

}

class GaugeWidget::Impl
{
public:
    float minimum = 0;
    float maximum = 100;
    float value = 0;
    float tickStep = 10;
    GaugeGeometry::Layout layout;
    QFont labelFont{QStringLiteral("Helvetica [Cronyx]"), 12};
    QColor levelColour{19, 140, 205, 210};
    QColor barColour{180, 180, 180, 70};
};

GaugeWidget::GaugeWidget(QWidget *parent)
    : QWidget(parent)
    , d(new Impl)
{
    setMinimumWidth(PreferredWidth);
    setMinimumHeight(PreferredHeight);
}

GaugeWidget::~GaugeWidget() = default;

float GaugeWidget::minimum() const
{
    return d->minimum;
}

float GaugeWidget::maximum() const
{
    return d->maximum;
}

float GaugeWidget::value() const
{
    return d->value;
}

float GaugeWidget::tickStep() const
{
    return d->tickStep;
}

void GaugeWidget::setValue(float v)
{
    if (v < d->minimum)
        d->value = d->minimum;
    else if (v > d->maximum)
        d->value = d->maximum;
    else if (!std::isnan(v))
        d->value = v;
    // The value as text, for a screen reader.
    setAccessibleDescription(QString::number(static_cast<double>(d->value), 'g', 4));
    repaint();
}

void GaugeWidget::setMinimum(float v)
{
    // An infinite end would make every height on the bar meaningless.
    if (v < d->maximum && std::isfinite(v))
        d->minimum = v;
    repaint();
}

void GaugeWidget::setMaximum(float v)
{
    if (v > d->minimum && std::isfinite(v))
        d->maximum = v;
    repaint();
}

void GaugeWidget::setTickStep(float v)
{
    d->tickStep = v;
    repaint();
}

QFont GaugeWidget::labelFont() const
{
    return d->labelFont;
}

QColor GaugeWidget::levelColour() const
{
    return d->levelColour;
}

QColor GaugeWidget::barColour() const
{
    return d->barColour;
}

const QColor &GaugeWidget::tickColour()
{
    static const QColor colour(204, 204, 204, 255);
    return colour;
}

const QColor &GaugeWidget::outOfRangeColour()
{
    static const QColor colour(161, 161, 161, 255);
    return colour;
}

const QColor &GaugeWidget::warningColour()
{
    static const QColor colour(247, 147, 30, 255);
    return colour;
}

const GaugeGeometry::Layout &GaugeWidget::gaugeLayout() const
{
    return d->layout;
}

void GaugeWidget::paintEvent(QPaintEvent *)
{
    d->layout = GaugeGeometry::layout(width(), height(), d->minimum, d->maximum, d->value, d->tickStep);
    const GaugeGeometry::Layout &g = d->layout;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(Qt::NoPen);
    painter.setBrush(d->barColour);
    painter.drawConvexPolygon(g.band(g.bottom, g.bottom - g.barHeight));

    // The labels share the ticks' pen, so they are light grey too.
    painter.setPen(QPen(tickColour(), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setFont(d->labelFont);
    for (const GaugeGeometry::Tick &tick : g.ticks) {
        painter.drawLine(tick.line);
        painter.drawText(tick.labelBox, Qt::AlignRight, tick.label);
    }
}
