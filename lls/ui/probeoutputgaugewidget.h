#ifndef PROBEOUTPUTGAUGEWIDGET_H
#define PROBEOUTPUTGAUGEWIDGET_H

#include "lls/ui/gaugewidget.h"

// The sensor's output value as a pointer across a ruled bar, on the scale the host sets.
class ProbeOutputGaugeWidget : public GaugeWidget
{
    Q_OBJECT
public:
    explicit ProbeOutputGaugeWidget(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

#endif
