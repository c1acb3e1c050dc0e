#ifndef GAUGEWIDGET_H
#define GAUGEWIDGET_H

#include "lls/ui/gaugegeometry.h"

#include <QWidget>

#include <memory>

// A vertical bar gauge with a labelled scale. It holds no timer and no device: the host pushes
// values in, and every setter repaints at once, synchronously. Subclasses draw the value.
class GaugeWidget : public QWidget
{
    Q_OBJECT
public:
    explicit GaugeWidget(QWidget *parent = nullptr);
    ~GaugeWidget() override;

    float minimum() const;
    float maximum() const;
    float value() const;
    float tickStep() const;

    // Limited to [minimum, maximum]; a value that is not a number is ignored.
    void setValue(float v);
    // Taken only while the minimum stays below the maximum; the value is not limited again.
    void setMinimum(float v);
    void setMaximum(float v);
    // Stored as given; a step that cannot make a scale leaves the scale without ticks.
    void setTickStep(float v);

    QFont labelFont() const;
    QColor levelColour() const;
    QColor barColour() const;
    static const QColor &tickColour();
    static const QColor &outOfRangeColour();
    static const QColor &warningColour();

protected:
    void paintEvent(QPaintEvent *event) override;
    // The positions of the paint in progress, recomputed from the current size at each paint.
    const GaugeGeometry::Layout &gaugeLayout() const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

#endif
