#include "lls/ui/probelevelgaugewidget.h"

#include "device/logcategories.h"

#include <QDebug>
#include <QPainter>

ProbeLevelGaugeWidget::ProbeLevelGaugeWidget(QWidget *parent)
    : GaugeWidget(parent)
{
}

void ProbeLevelGaugeWidget::setRangeMarks(bool shown, float lowPercent, float highPercent)
{
    rangeMarksShown = shown;
    if (shown) {
        rangeLowPercent = lowPercent;
        rangeHighPercent = highPercent;
    }
    repaint();
}

void ProbeLevelGaugeWidget::setWarningMarks(bool shown, bool above, float levelPercent, float hysteresis)
{
    warningShown = shown;
    if (shown) {
        hysteresisAbove = above;
        warningLevelPercent = levelPercent;
        hysteresisPercent = hysteresis;
    }
    repaint();
}

void ProbeLevelGaugeWidget::paintEvent(QPaintEvent *event)
{
    GaugeWidget::paintEvent(event);
    const GaugeGeometry::Layout &g = gaugeLayout();
    const float top = g.bottom - g.barHeight;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPolygon liquid = g.band(g.bottom, g.bottom - g.levelHeight);
    if (rangeMarksShown) {
        const float yLow = g.yOfPercent(rangeLowPercent);
        const float yHigh = g.yOfPercent(rangeHighPercent);
        painter.setBrush(outOfRangeColour());
        painter.drawConvexPolygon(g.band(g.bottom, yLow));
        painter.drawConvexPolygon(g.band(yHigh, top));
        painter.setBrush(levelColour());
        painter.drawConvexPolygon(liquid);
        painter.setBrush(outOfRangeColour());
        painter.drawConvexPolygon(GaugeGeometry::rangeMarker(g, yLow));
        painter.drawConvexPolygon(GaugeGeometry::rangeMarker(g, yHigh));
    } else {
        painter.setBrush(levelColour());
        painter.drawConvexPolygon(liquid);
    }

    if (!warningShown)
        return;
    auto barLine = [&](float percent) {
        const int y = static_cast<int>(g.yOfPercent(percent));
        painter.drawLine(static_cast<int>(g.centreX), y, static_cast<int>(g.centreX + g.barWidth), y);
    };
    painter.setPen(QPen(warningColour(), 6.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    barLine(warningLevelPercent);
    painter.setPen(QPen(warningColour(), 3.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    // Both ends are checked on every paint, whichever side the line is drawn on.
    const GaugeGeometry::HysteresisLimits limits = GaugeGeometry::hysteresisLimits(warningLevelPercent, hysteresisPercent);
    if (limits.unpinnedPlus > 100)
        qCDebug(lcUi) << "hysteresisPlus >100!!! =>" << limits.unpinnedPlus;
    if (limits.unpinnedMinus < 0)
        qCDebug(lcUi) << "hysteresisMinus<0!!! =>" << limits.unpinnedMinus;
    barLine(hysteresisAbove ? limits.plus : limits.minus);
}
