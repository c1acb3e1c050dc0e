#include "lls/ui/probeoutputgaugewidget.h"

#include <QPainter>

ProbeOutputGaugeWidget::ProbeOutputGaugeWidget(QWidget *parent)
    : GaugeWidget(parent)
{
}

void ProbeOutputGaugeWidget::paintEvent(QPaintEvent *event)
{
    GaugeWidget::paintEvent(event);
    const GaugeGeometry::Layout &g = gaugeLayout();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(barColour());
    for (const QRect &stripe : GaugeGeometry::outputStripes(g))
        painter.drawRect(stripe);
    painter.setBrush(levelColour());
    painter.drawRect(GaugeGeometry::outputPointer(g, width()));
}
