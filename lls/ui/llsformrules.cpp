#include "lls/ui/llsformrules.h"

#include <algorithm>

#include <QtMath>

#include <cmath>

namespace LLSFormRules {

namespace {

const char WhiteCombo[] =
    "QComboBox { border: 0px; padding: 0 10 0 10;background-color: white; }QComboBox::drop-down {border: 0px;width: 32;}"
    "QComboBox::down-arrow {image: url(:/resources/resources/drop-arrow-unselected.svg);}QComboBox::down-arrow:on { image: "
    "url(:/resources/resources/drop-arrow-selected.svg);}QComboBox QAbstractItemView {background-color: rgb(242, 242, 242);"
    // The page's white text would leave the highlighted row a blank box.
    "color: black; selection-background-color: rgb(40, 110, 180); selection-color: white; outline: 0;}"
    "QComboBox QAbstractItemView::item {min-height: 28px; padding: 0 10px;}";

bool isVoltage(const QString &type)
{
    return type == QLatin1String("5V") || type == QLatin1String("10V");
}

bool isRangeType(const QString &type)
{
    return isVoltage(type) || type == QLatin1String("mA") || type == QLatin1String("CAN");
}

bool near(float a, float b)
{
    return std::fabs(a - b) < 0.01f;
}

}

QString spinStyle(Mark mark)
{
    switch (mark) {
    case Mark::Equal:
        return QStringLiteral("QSpinBox { background-color: white; }");
    case Mark::Changed:
        return QStringLiteral("QSpinBox { background-color: green; }");
    case Mark::Invalid:
        break;
    }
    return QStringLiteral("QSpinBox { background-color: rgb(193, 39, 45); }");
}

QString doubleSpinStyle(Mark mark)
{
    return mark == Mark::Equal ? QStringLiteral("QDoubleSpinBox { background-color: white; }")
                               : QStringLiteral("QDoubleSpinBox { background-color: green; }");
}

QString comboStyle(bool changed)
{
    QString style = QString::fromLatin1(WhiteCombo);
    if (changed)
        style.replace(QLatin1String("background-color: white;"), QLatin1String("background-color: green;"));
    return style;
}

NmeaLiquids nmeaLiquidList(int sensorCode)
{
    NmeaLiquids liquids{{QStringLiteral("Fresh Water"), 1},
                        {QStringLiteral("Waste Water"), 2},
                        {QStringLiteral("Live Well"), 3},
                        {QStringLiteral("Black Water"), 5}};
    const bool listed = std::any_of(liquids.cbegin(), liquids.cend(), [sensorCode](const auto &l) { return l.second == sensorCode; });
    if (!listed)
        liquids.append({QStringLiteral("Unknown (%1)").arg(sensorCode), sensorCode});
    return liquids;
}

int nmeaReferenceIndex(const NmeaLiquids &liquids, int nmeaType)
{
    int index = 0;
    for (int i = 0; i < liquids.size(); ++i)
        if (liquids.at(i).second == nmeaType)
            index = i;
    return index;
}

int nmeaLiquidCode(const NmeaLiquids &liquids, const QString &name)
{
    int code = 0;
    for (const auto &liquid : liquids)
        if (liquid.first == name)
            code = liquid.second;
    return code;
}

RangeEdit minimumEdited(int minimum, int maximum, int sensorMinimum, int sensorMaximum)
{
    RangeEdit edit;
    if (maximum > minimum) {
        // The partner box is recoloured only when it differs from the sensor.
        if (maximum != sensorMaximum)
            edit.maximum = Mark::Changed;
        edit.minimum = minimum == sensorMinimum ? Mark::Equal : Mark::Changed;
    } else {
        edit.minimum = Mark::Invalid;
    }
    edit.setEnabled = (minimum != sensorMinimum || maximum != sensorMaximum) && minimum < maximum;
    return edit;
}

RangeEdit maximumEdited(int minimum, int maximum, int sensorMinimum, int sensorMaximum)
{
    RangeEdit edit;
    if (minimum < maximum) {
        if (minimum != sensorMinimum)
            edit.minimum = Mark::Changed;
        edit.maximum = maximum == sensorMaximum ? Mark::Equal : Mark::Changed;
    } else {
        edit.maximum = Mark::Invalid;
    }
    edit.setEnabled = (minimum != sensorMinimum || maximum != sensorMaximum) && minimum < maximum;
    return edit;
}

int sliderPosition(double value, float lower, float upper, int steps)
{
    const double span = static_cast<double>(upper) - lower;
    // Before a load the limits are both 0: no position is meaningful.
    if (span == 0 || !std::isfinite(value))
        return 0;
    const double position = std::trunc(value * steps / span);
    return static_cast<int>(qBound(-2147483647.0, position, 2147483647.0));
}

float sliderValue(int position, float lower, float upper, int steps)
{
    if (steps == 0)
        return 0;
    return static_cast<float>(position) * (upper - lower) / static_cast<float>(steps);
}

QStringList presetItems(const QString &type, float lower, float upper, const QString &unit)
{
    if (isVoltage(type))
        return {QStringLiteral("0.25-4.75 V"), QStringLiteral("0.25-10 V"), QStringLiteral("Custom")};
    if (type == QLatin1String("resistive"))
        return {QStringLiteral("3-180 \u03a9"), QStringLiteral("240-33 \u03a9"), QStringLiteral("Custom")};
    if (type == QLatin1String("mA") || type == QLatin1String("CAN"))
        return {QString::number(lower, 'g', 6) + '-' + QString::number(upper, 'g', 6) + ' ' + unit, QStringLiteral("Custom")};
    return {};
}

std::optional<Preset> presetValues(const QString &type, int index, float lower, float upper)
{
    if (isVoltage(type)) {
        if (index == 0)
            return Preset{0.25f, 0, 4.75f, false};
        if (index == 1)
            return Preset{0.25f, 0, 10.0f, false};
    } else if (type == QLatin1String("resistive")) {
        if (index == 0)
            return Preset{0, 11.5f, 16.8f, false};
        if (index == 1)
            return Preset{7.6f, 13.4f, 21.5f, true};
    } else if (type == QLatin1String("mA") || type == QLatin1String("CAN")) {
        if (index == 0)
            return Preset{lower, 0, upper, false};
    }
    return std::nullopt;
}

int itemForSensor(const QString &type, float e, float m, float f, float lower, float upper)
{
    if (isRangeType(type)) {
        if (f == upper && e == lower)
            return type == QLatin1String("10V") ? 1 : 0;
        if (type == QLatin1String("10V") && f == 4.75f && e == 0.25f && lower == 0.25f)
            return 0;
        return isVoltage(type) ? 2 : 1;
    }
    if (type == QLatin1String("resistive")) {
        if (near(e, 0) && near(m, 11.5f) && near(f, 16.8f))
            return 0;
        if (near(e, 7.6f) && near(m, 13.4f) && near(f, 21.5f))
            return 1;
        return 2;
    }
    return -1;
}

int itemMatchingSensor(const QString &type, float e, float f, float lower, float upper)
{
    if (isRangeType(type)) {
        if (f == upper && e == lower)
            return type == QLatin1String("10V") ? 1 : 0;
        return isVoltage(type) ? 2 : 1;
    }
    if (type == QLatin1String("resistive")) {
        if (near(e, 0) && near(f, 16.8f))
            return 0;
        if (near(e, 7.6f) && near(f, 21.5f))
            return 1;
        return 2;
    }
    return -1;
}

float presetEnd(float shown, float exact, double step, std::initializer_list<float> ends)
{
    for (const float end : ends)
        if (std::fabs(static_cast<double>(exact) - end) <= step / 2 + 1e-6)
            return end;
    return shown;
}

bool sameOutput(double box, float sensor)
{
    return std::fabs(box - sensor) < 0.001;
}

Mark outputMark(double box, float sensor)
{
    return std::fabs(sensor - box) <= 0.001 ? Mark::Equal : Mark::Changed;
}

OutputButtons outputButtonsAfterEdit(bool resistive, double empty, double midpoint, double full, float e, float m, float f)
{
    OutputButtons buttons;
    if (resistive) {
        if (sameOutput(empty, e) && sameOutput(midpoint, m) && sameOutput(full, f)) {
            buttons.set = false;
            buttons.cancel = false;
        } else {
            buttons.set = empty < midpoint && midpoint < full;
            buttons.cancel = true;
        }
        return buttons;
    }
    const bool changed = !(sameOutput(empty, e) && sameOutput(full, f));
    buttons.set = changed;
    buttons.cancel = changed;
    return buttons;
}

OutputButtons outputButtonsAfterChoice(bool resistive, double empty, double midpoint, double full, float e, float m, float f)
{
    OutputButtons buttons = outputButtonsAfterEdit(resistive, empty, midpoint, full, e, m, f);
    // After a choice an out-of-order resistive range leaves SET as it was.
    if (resistive && buttons.cancel && !(empty < midpoint && midpoint < full))
        buttons.set.reset();
    return buttons;
}

float minimumSupply(double full)
{
    return full <= 4.75 ? 5.0f : static_cast<float>(full + 0.25);
}

GaugeScale outputGaugeScale(const QString &type, float full)
{
    if (isVoltage(type))
        return full <= 5.0f ? GaugeScale{0, 5, 0.5f, 2, true} : GaugeScale{0, 10, 1, 2, true};
    if (type == QLatin1String("mA"))
        return {0, 20, 2, 1, true};
    if (type == QLatin1String("resistive") || type == QLatin1String("CAN"))
        return {0, 100, 10, 0, true};
    return {0, 100, 10, 0, false};
}

bool switchSetEnabled(int level, int hysteresis, int alarmIndex, int sensorLevel, int sensorHysteresis, bool sensorEmptyAlarm)
{
    const bool differs = level != sensorLevel || hysteresis != sensorHysteresis || (alarmIndex == 0 && !sensorEmptyAlarm)
        || (alarmIndex == 1 && sensorEmptyAlarm);
    return differs && level != 0 && hysteresis != 0;
}

AlarmChoice alarmChosen(int index, int level, int hysteresis, int sensorLevel, int sensorHysteresis, bool sensorEmptyAlarm)
{
    AlarmChoice choice;
    const bool sensorOff = sensorLevel == 0 || sensorHysteresis == 0;
    const bool anyZero = level == 0 || hysteresis == 0;
    if (index == 2) {
        // "Disabled": a change only if the sensor's switch is on.
        choice.boxesEnabled = false;
        choice.comboChanged = !sensorOff;
        choice.set = !sensorOff;
        return choice;
    }
    const bool sameMode = (index == 0 && sensorEmptyAlarm) || (index == 1 && !sensorEmptyAlarm);
    if (!sensorOff && sameMode) {
        choice.comboChanged = false;
        choice.set = !(level == sensorLevel && hysteresis == sensorHysteresis);
        return choice;
    }
    choice.comboChanged = true;
    if (!anyZero)
        choice.set = true;
    return choice;
}

}
