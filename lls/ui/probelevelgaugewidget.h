#ifndef PROBELEVELGAUGEWIDGET_H
#define PROBELEVELGAUGEWIDGET_H

#include "lls/ui/gaugewidget.h"

// The liquid level in percent, with optional marks for the measuring range and for the
// warning level and its hysteresis.
class ProbeLevelGaugeWidget : public GaugeWidget
{
    Q_OBJECT
public:
    explicit ProbeLevelGaugeWidget(QWidget *parent = nullptr);

    // The percentages are kept only when the marks are shown.
    void setRangeMarks(bool shown, float lowPercent, float highPercent);
    // Hiding leaves the stored levels as they are.
    void setWarningMarks(bool shown, bool hysteresisAbove, float levelPercent, float hysteresisPercent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool warningShown = false;
    bool hysteresisAbove = false;
    float warningLevelPercent = 0;
    float hysteresisPercent = 0;
    bool rangeMarksShown = false;
    float rangeLowPercent = 0;
    float rangeHighPercent = 0;
};

#endif
