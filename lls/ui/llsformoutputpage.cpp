// The level sensor form's output range page: presets, custom values, inversion, and the live
// output tests with the sliders. The rules themselves are in llsformrules.
#include "lls/ui/llsform.h"

#include "device/logcategories.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsformrules.h"
#include "lls/ui/probeoutputgaugewidget.h"
#include "ui_llsform.h"

#include <QDebug>
#include <QTimer>

#include <utility>

using namespace LLSFormRules;

namespace {
bool isVoltage(const QString &type)
{
    return type == QLatin1String("5V") || type == QLatin1String("10V");
}
bool isKnownType(const QString &type)
{
    return isVoltage(type) || type == QLatin1String("mA") || type == QLatin1String("CAN") || type == QLatin1String("resistive");
}
}

void LLSForm::fillOutputPage()
{
    LLSDevice *d = m_device.data();
    const QString type = formOutputType;
    const bool resistive = type == QLatin1String("resistive");
    outputLowerLimit = d->MinOutputLimit();
    outputUpperLimit = d->MaxOutputLimit();
    outputSteps = d->DacMax();
    outputInvertedCopy = d->OutputInverted();
    filledInversion = askedInversion = d->OutputInverted();
    ui->invertedOutputCheckBox->setChecked(d->OutputInverted());

    const int decimals = d->OutputDecimals();
    for (QDoubleSpinBox *box : {ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange}) {
        box->setDecimals(decimals);
        if (decimals == 1)
            box->setSingleStep(0.1);
    }

    const float e = d->OutputRangeMinValue();
    const float m = d->MidOutputValue();
    const float f = d->OutputRangeMaxValue();
    ui->outputSelection->clear();
    ui->outputSelection->setStyleSheet(comboStyle(false));
    ui->outputSelection->addItems(presetItems(type, outputLowerLimit, outputUpperLimit, d->OutputUnit()));
    if (resistive) {
        for (QSlider *slider : {ui->emptyOutputSlider, ui->midpointOutputSlider, ui->fullOutputSlider})
            slider->setMaximum(outputSteps);
    } else if (!isKnownType(type)) {
        qCDebug(lcUi) << "Error comboBox: Wrong output type: " << type;
    }

    const int item = itemForSensor(type, matchedEmpty(e), m, matchedFull(f), outputLowerLimit, outputUpperLimit);
    if (item >= 0) {
        const bool custom = item == ui->outputSelection->count() - 1;
        ui->outputSelection->setItemData(item, QBrush(Qt::blue), Qt::ForegroundRole);
        ui->outputSelection->setCurrentIndex(item);
        if (resistive) {
            ui->invertedOutputCheckBox->setEnabled(custom);
            setOutputEditorsEnabled(custom);
        } else {
            ui->minOutputRange->setEnabled(custom);
            ui->maxOutputRange->setEnabled(custom);
        }
    } else {
        qCDebug(lcUi) << "Error detect mode: Wrong output type: " << type;
    }

    if (resistive) {
        for (QDoubleSpinBox *box : {ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange}) {
            box->hide();
            box->setSuffix(QString());
        }
        ui->emptyOutputSliderFrame->show();
        ui->midpointOutputSliderFrame->show();
        ui->fullOutputSliderFrame->show();
        ui->outputRangeFrame->hide();
    } else {
        ui->midpointOutputRangeFrame->hide();
        ui->emptyOutputSliderFrame->hide();
        ui->midpointOutputSliderFrame->hide();
        ui->fullOutputSliderFrame->hide();
        ui->invertedOutputFrame->hide();
        ui->outputRange->setText(QString::number(e, 'g', 6) + QStringLiteral(" - ") + QString::number(f, 'g', 6) + ' ' + d->OutputUnit());
        ui->minOutputRange->setSuffix(d->OutputUnit());
        ui->maxOutputRange->setSuffix(d->OutputUnit());
    }

    if (isVoltage(type)) {
        ui->minOutputRange->setMaximum(10.0);
        ui->maxOutputRange->setMaximum(10.0);
    } else {
        for (QDoubleSpinBox *box : {ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange})
            box->setMaximum(outputUpperLimit);
    }
    for (QDoubleSpinBox *box : {ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange})
        box->setMinimum(outputLowerLimit);

    if (resistive)
        showOutputValues(e, m, f);
    else
        showOutputValues(e, f);
    for (QDoubleSpinBox *box : {ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange})
        box->setStyleSheet(doubleSpinStyle(Mark::Equal));
    ui->setOutputRange->setEnabled(false);
    // A test still holding the output can always be ended.
    ui->CancelOutputRange->setEnabled(outputTestRunning);
    updateSupplyNote(ui->maxOutputRange->value());

    const GaugeScale scale = outputGaugeScale(type, f);
    if (!scale.known)
        qCDebug(lcUi) << "Output type: " << type;
    if (outputGauge) {
        outputGauge->setMinimum(scale.minimum);
        outputGauge->setMaximum(scale.maximum);
        outputGauge->setTickStep(scale.tickStep);
    }
    outputDecimals = scale.decimals;
}

float LLSForm::matchedEmpty(float shown) const
{
    const LLSDevice *d = m_device.data();
    const double step = (static_cast<double>(d->MaxCalibratedOutput()) - d->MinCalibratedOutput()) / d->DacMax();
    return presetEnd(shown, d->ExactOutputValue(d->OutputRangeMin()), step, {outputLowerLimit, 0.25f});
}

float LLSForm::matchedFull(float shown) const
{
    const LLSDevice *d = m_device.data();
    const double step = (static_cast<double>(d->MaxCalibratedOutput()) - d->MinCalibratedOutput()) / d->DacMax();
    return presetEnd(shown, d->ExactOutputValue(d->OutputRangeMax()), step, {outputUpperLimit, 4.75f, 10.0f});
}

void LLSForm::setOutputEditorsEnabled(bool on)
{
    for (QWidget *editor : std::initializer_list<QWidget *>{ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange,
                                                           ui->emptyOutputSlider, ui->midpointOutputSlider, ui->fullOutputSlider})
        editor->setEnabled(on);
}

void LLSForm::showOutputValues(float e, float f)
{
    ui->minOutputRange->setValue(e);
    ui->emptyOutputSlider->setValue(sliderPosition(e, outputLowerLimit, outputUpperLimit, outputSteps));
    ui->maxOutputRange->setValue(f);
    ui->fullOutputSlider->setValue(sliderPosition(f, outputLowerLimit, outputUpperLimit, outputSteps));
}

void LLSForm::showOutputValues(float e, float m, float f)
{
    ui->minOutputRange->setValue(e);
    ui->emptyOutputSlider->setValue(sliderPosition(e, outputLowerLimit, outputUpperLimit, outputSteps));
    ui->midpointOutputRange->setValue(m);
    ui->midpointOutputSlider->setValue(sliderPosition(m, outputLowerLimit, outputUpperLimit, outputSteps));
    ui->maxOutputRange->setValue(f);
    ui->fullOutputSlider->setValue(sliderPosition(f, outputLowerLimit, outputUpperLimit, outputSteps));
}

void LLSForm::on_outputSelection_activated(int index)
{
    if (!m_device)
        return;
    LLSDevice *d = m_device.data();
    const QString type = formOutputType;
    const bool resistive = type == QLatin1String("resistive");
    const float e = d->OutputRangeMinValue();
    const float m = d->MidOutputValue();
    const float f = d->OutputRangeMaxValue();

    if (index == ui->outputSelection->count() - 1) {
        setOutputEditorsEnabled(true);
        if (resistive) {
            ui->invertedOutputCheckBox->setEnabled(true);
            showOutputValues(e, m, f);
        } else {
            showOutputValues(e, f);
        }
    } else {
        ui->invertedOutputCheckBox->setEnabled(false);
        setOutputEditorsEnabled(false);
        for (QDoubleSpinBox *box : {ui->minOutputRange, ui->midpointOutputRange, ui->maxOutputRange})
            box->setStyleSheet(doubleSpinStyle(Mark::Equal));
        const std::optional<Preset> preset = presetValues(type, index, outputLowerLimit, outputUpperLimit);
        if (preset && resistive) {
            choosingPreset = true;
            ui->invertedOutputCheckBox->setChecked(preset->inverted);
            choosingPreset = false;
            showOutputValues(preset->empty, preset->midpoint, preset->full);
        } else if (preset) {
            showOutputValues(preset->empty, preset->full);
        } else {
            showOutputValues(outputLowerLimit, outputUpperLimit);
        }
    }

    const int matching = itemMatchingSensor(type, matchedEmpty(e), matchedFull(f), outputLowerLimit, outputUpperLimit);
    const bool changed = matching < 0 ? index != -1 : index != matching;
    ui->outputSelection->setStyleSheet(comboStyle(changed));

    if (resistive)
        outputInvertedCopy = d->OutputInverted();
    const OutputButtons buttons = outputButtonsAfterChoice(resistive, ui->minOutputRange->value(), ui->midpointOutputRange->value(),
                                                           ui->maxOutputRange->value(), e, m, f);
    if (buttons.set)
        ui->setOutputRange->setEnabled(*buttons.set);
    ui->CancelOutputRange->setEnabled(buttons.cancel || outputTestRunning);
}

void LLSForm::updateOutputButtons()
{
    if (!m_device)
        return;
    LLSDevice *d = m_device.data();
    const bool resistive = formOutputType == QLatin1String("resistive");
    if (resistive)
        outputInvertedCopy = d->OutputInverted();
    const OutputButtons buttons = outputButtonsAfterEdit(resistive, ui->minOutputRange->value(), ui->midpointOutputRange->value(),
                                                         ui->maxOutputRange->value(), d->OutputRangeMinValue(), d->MidOutputValue(),
                                                         d->OutputRangeMaxValue());
    if (buttons.set)
        ui->setOutputRange->setEnabled(*buttons.set);
    ui->CancelOutputRange->setEnabled(buttons.cancel || outputTestRunning);
}

void LLSForm::on_minOutputRange_valueChanged(double arg1)
{
    if (!m_device)
        return;
    ui->minOutputRange->setStyleSheet(doubleSpinStyle(outputMark(arg1, m_device->OutputRangeMinValue())));
    updateOutputButtons();
    ui->emptyOutputSlider->setValue(sliderPosition(arg1, outputLowerLimit, outputUpperLimit, outputSteps));
}

void LLSForm::on_midpointOutputRange_valueChanged(double arg1)
{
    if (!m_device)
        return;
    ui->midpointOutputRange->setStyleSheet(doubleSpinStyle(outputMark(arg1, m_device->MidOutputValue())));
    updateOutputButtons();
    ui->midpointOutputSlider->setValue(sliderPosition(arg1, outputLowerLimit, outputUpperLimit, outputSteps));
}

void LLSForm::on_maxOutputRange_valueChanged(double arg1)
{
    if (!m_device)
        return;
    ui->maxOutputRange->setStyleSheet(doubleSpinStyle(outputMark(arg1, m_device->OutputRangeMaxValue())));
    updateOutputButtons();
    ui->fullOutputSlider->setValue(sliderPosition(arg1, outputLowerLimit, outputUpperLimit, outputSteps));
    updateSupplyNote(arg1);
}

void LLSForm::updateSupplyNote(double full)
{
    if (isVoltage(formOutputType)) {
        ui->minimumSupply->setText(QStringLiteral("Minimum supply voltage: ") + QString::number(minimumSupply(full), 'g', 6)
                                   + QStringLiteral("V"));
        ui->minimumSupplyFrame->show();
        ui->minimumSupply->show();
    } else {
        ui->minimumSupply->hide();
        ui->minimumSupplyFrame->hide();
    }
}

// --- Live output tests ------------------------------------------------------------------------

void LLSForm::startOutputTest(QSlider *slider, bool *dragging, const QString &param)
{
    if (polling)
        polling = false;
    fixOutputPending = true;
    *dragging = true;
    // Even a press that moves nothing holds the output: Cancel must be offered.
    setOutputTestRunning(true);
    SetParamStruct s;
    s.value1 = static_cast<float>(slider->sliderPosition());
    sendRequest(param, s);
}

// While a request is in flight the positions passed are skipped: the box follows the requests.
void LLSForm::moveOutputTest(QSlider *slider, bool dragging, int value)
{
    if (!dragging || fixOutputPending || value == lastFixedCount)
        return;
    fixOutputPending = true;
    SetParamStruct s;
    s.value1 = static_cast<float>(slider->sliderPosition());
    sendRequest(QStringLiteral("setFixOutputValue"), s);
    setOutputBox(slider, slider->sliderPosition());
}

// The last position is always sent on release.
void LLSForm::endOutputTest(QSlider *slider, bool *dragging)
{
    SetParamStruct s;
    s.value1 = static_cast<float>(slider->sliderPosition());
    sendRequest(QStringLiteral("setFixOutputValue"), s);
    *dragging = false;
    setOutputBox(slider, slider->sliderPosition());
}

void LLSForm::setOutputBox(QSlider *slider, int position)
{
    QDoubleSpinBox *box = slider == ui->emptyOutputSlider ? ui->minOutputRange
        : slider == ui->fullOutputSlider                  ? ui->maxOutputRange
                                                          : ui->midpointOutputRange;
    box->setValue(sliderValue(position, outputLowerLimit, outputUpperLimit, outputSteps));
}

void LLSForm::on_emptyOutputSlider_sliderPressed()
{
    startOutputTest(ui->emptyOutputSlider, &emptyDragging, QStringLiteral("setFixOutputValue"));
}

void LLSForm::on_emptyOutputSlider_valueChanged(int value)
{
    moveOutputTest(ui->emptyOutputSlider, emptyDragging, value);
}

void LLSForm::on_emptyOutputSlider_sliderReleased()
{
    endOutputTest(ui->emptyOutputSlider, &emptyDragging);
}

void LLSForm::on_fullOutputSlider_sliderPressed()
{
    startOutputTest(ui->fullOutputSlider, &fullDragging, QStringLiteral("setFixOutputValue"));
}

void LLSForm::on_fullOutputSlider_valueChanged(int value)
{
    moveOutputTest(ui->fullOutputSlider, fullDragging, value);
}

void LLSForm::on_fullOutputSlider_sliderReleased()
{
    endOutputTest(ui->fullOutputSlider, &fullDragging);
}

void LLSForm::on_midpointOutputSlider_sliderPressed()
{
    // The midpoint must be clear for the test output to reach the sensor's output.
    startOutputTest(ui->midpointOutputSlider, &midpointDragging, QStringLiteral("resetMidpoint,setFixOutputValue"));
}

void LLSForm::on_midpointOutputSlider_valueChanged(int value)
{
    moveOutputTest(ui->midpointOutputSlider, midpointDragging, value);
}

void LLSForm::on_midpointOutputSlider_sliderReleased()
{
    endOutputTest(ui->midpointOutputSlider, &midpointDragging);
}

// --- SET, Cancel, inversion -------------------------------------------------------------------

void LLSForm::on_setOutputRange_clicked()
{
    if (polling)
        polling = false;
    setSetButtonsDisabled(true);
    SetParamStruct s;
    const int index = ui->outputSelection->currentIndex();
    const std::optional<Preset> preset = index == ui->outputSelection->count() - 1
        ? std::nullopt
        : presetValues(formOutputType, index, outputLowerLimit, outputUpperLimit);
    if (preset) {
        // The boxes show a preset rounded to the sensor's decimals (0.3 for 0.25 on a range of
        // 11.2 V): the preset itself is what the user chose.
        s.value1 = preset->empty;
        s.value2 = preset->full;
        s.value3 = preset->midpoint;
    } else if (LLSDevice *d = m_device.data()) {
        s.value1 = outputToSend(ui->minOutputRange, d->OutputRangeMinValue(), d->OutputRangeMin());
        s.value2 = outputToSend(ui->maxOutputRange, d->OutputRangeMaxValue(), d->OutputRangeMax());
        if (formOutputType == QLatin1String("resistive"))
            s.value3 = outputToSend(ui->midpointOutputRange, d->MidOutputValue(), d->MidOutput());
    }
    setOutputTestRunning(false);
    sendRequest(QStringLiteral("outputRange,disableFixOutput"), s);
}

// The boxes show values rounded to their decimals; written back, a rounded value can land a count
// or more away from what the sensor holds. A box the user left as filled stands for the sensor's
// own count.
float LLSForm::outputToSend(const QDoubleSpinBox *box, float sensorValue, int sensorCount) const
{
    if (qAbs(box->value() - static_cast<double>(sensorValue)) > 1e-4)
        return static_cast<float>(box->value());
    return m_device->ExactOutputValue(sensorCount);
}

void LLSForm::on_CancelOutputRange_clicked()
{
    on_outputSelection_activated(ui->outputSelection->currentIndex());
    sendOutputCancel();
    polling = true;
    requestMeasurement();
}

// Ends any test and puts back the sensor's range, and the inversion the page was filled with.
void LLSForm::sendOutputCancel()
{
    if (!m_device)
        return;
    LLSDevice *d = m_device.data();
    SetParamStruct s;
    s.text = SetParamStruct::keepRange();
    s.value1 = d->ExactOutputValue(d->OutputRangeMin());
    s.value2 = d->ExactOutputValue(d->OutputRangeMax());
    SetParamStruct inversion;
    if (formOutputType == QLatin1String("resistive")) {
        s.value3 = d->ExactOutputValue(d->MidOutput());
        if (askedInversion != filledInversion) {
            inversion.text = filledInversion ? QStringLiteral("true") : QStringLiteral("false");
            askedInversion = filledInversion;
            const bool wasFilling = std::exchange(filling, true);
            ui->invertedOutputCheckBox->setChecked(filledInversion);
            filling = wasFilling;
        }
    }
    setOutputTestRunning(false);
    sendRequest(QStringLiteral("disableFixOutput,outputRange"), s);
    if (!inversion.text.isEmpty())
        sendRequest(QStringLiteral("invertOutput"), inversion);
}

void LLSForm::setOutputTestRunning(bool running)
{
    outputTestRunning = running;
    if (running && !testWatch->isActive())
        testWatch->start();
    else if (!running)
        testWatch->stop();
    ui->outputTestNote->setVisible(running);
    if (running)
        ui->CancelOutputRange->setEnabled(true);
}

void LLSForm::on_invertedOutputCheckBox_toggled(bool checked)
{
    // A page being filled shows the sensor's inversion; only the user's changes go to the sensor.
    if (filling)
        return;
    askedInversion = checked;
    // The sensor takes the inversion at once. The user's own tick is a setting of its own and stays;
    // one that comes with a preset chosen is part of that preset, which Cancel, another page or
    // leaving undoes until SET keeps it.
    if (!choosingPreset)
        filledInversion = checked;
    else if (checked != filledInversion)
        setOutputTestRunning(true);
    SetParamStruct s;
    s.text = checked ? QStringLiteral("true") : QStringLiteral("false");
    sendRequest(QStringLiteral("invertOutput"), s);
}
