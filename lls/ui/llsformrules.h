#ifndef LLSFORMRULES_H
#define LLSFORMRULES_H

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <initializer_list>
#include <optional>

// The decisions of the level sensor form's setting pages, kept out of the widgets: which colour
// an editor gets, when SET and Cancel are enabled, how output values map to slider positions,
// which preset matches the sensor. The form only wires them to its controls.
namespace LLSFormRules {

// An editor equal to the sensor is white, a valid change green, an invalid value red.
enum class Mark { Equal, Changed, Invalid };
QString spinStyle(Mark mark);
QString doubleSpinStyle(Mark mark);  // output values are never red
QString comboStyle(bool changed);

// --- Liquid type page -------------------------------------------------------------------------

using NmeaLiquids = QVector<QPair<QString, int>>;
// The fixed NMEA liquids of CAN sensors, in list order. A sensor's code that none of them has
// follows as "Unknown (code)", so that it is shown, and written back, as it is.
NmeaLiquids nmeaLiquidList(int sensorCode);
// The list position of the sensor's fluid type: the last entry with that code, 0 when none has it.
int nmeaReferenceIndex(const NmeaLiquids &liquids, int nmeaType);
// The code of the entry of that name: the last match, 0 when none matches.
int nmeaLiquidCode(const NmeaLiquids &liquids, const QString &name);

// --- Measuring range page ---------------------------------------------------------------------

// What editing one end of the range does to the two boxes (an empty mark leaves a box's colour)
// and to SET.
struct RangeEdit
{
    std::optional<Mark> minimum;
    std::optional<Mark> maximum;
    bool setEnabled = false;
};
RangeEdit minimumEdited(int minimum, int maximum, int sensorMinimum, int sensorMaximum);
RangeEdit maximumEdited(int minimum, int maximum, int sensorMinimum, int sensorMaximum);

// --- Output range page ------------------------------------------------------------------------

// Output value to slider position (output count) and back, over the user's output limits.
int sliderPosition(double value, float lower, float upper, int steps);
float sliderValue(int position, float lower, float upper, int steps);

// The preset items of an output type; the last is always "Custom". Empty for an unknown type.
QStringList presetItems(const QString &type, float lower, float upper, const QString &unit);

struct Preset
{
    float empty;
    float midpoint;
    float full;
    bool inverted;
};
// The values a preset item sets; nothing for "Custom" or an unknown item.
std::optional<Preset> presetValues(const QString &type, int index, float lower, float upper);

// The item a freshly loaded page selects for the sensor's values (e, m, f); -1 for an unknown type.
int itemForSensor(const QString &type, float e, float m, float f, float lower, float upper);
// The item the combo's colour compares a user's choice with (a slightly different rule: a 10 V
// sensor set to 0.25..4.75 counts as "Custom" here); -1 for an unknown type.
int itemMatchingSensor(const QString &type, float e, float f, float lower, float upper);

// A sensor set to a preset holds the counts nearest the preset's values, but where the display
// rounds to fewer decimals than the preset has (a 10 V range of 11.2 V full scale) the value shown
// is not the preset's. An end whose exact value lies within half a step of one of the preset ends
// is taken as that end, for matching only.
float presetEnd(float shown, float exact, double step, std::initializer_list<float> ends);

// Boxes less than 0.001 from the sensor's values count as unchanged for SET and Cancel...
bool sameOutput(double box, float sensor);
// ...and up to 0.001 from them are coloured as equal.
Mark outputMark(double box, float sensor);

struct OutputButtons
{
    std::optional<bool> set;  // empty: SET keeps its state
    bool cancel = false;
};
// SET and Cancel after a box was edited.
OutputButtons outputButtonsAfterEdit(bool resistive, double empty, double midpoint, double full, float e, float m, float f);
// SET and Cancel after a preset or "Custom" was chosen.
OutputButtons outputButtonsAfterChoice(bool resistive, double empty, double midpoint, double full, float e, float m, float f);

// The supply a voltage output needs for its full value.
float minimumSupply(double full);

struct GaugeScale
{
    float minimum;
    float maximum;
    float tickStep;
    int decimals;  // of the shown output value
    bool known;    // false: an unknown output type, shown as a percentage
};
GaugeScale outputGaugeScale(const QString &type, float full);

// --- Switch output page -----------------------------------------------------------------------

// SET is enabled while the page differs from the sensor and neither number is 0.
bool switchSetEnabled(int level, int hysteresis, int alarmIndex, int sensorLevel, int sensorHysteresis, bool sensorEmptyAlarm);

struct AlarmChoice
{
    bool boxesEnabled = true;
    bool comboChanged = false;
    std::optional<bool> set;  // empty: SET keeps its state
};
AlarmChoice alarmChosen(int index, int level, int hysteresis, int sensorLevel, int sensorHysteresis, bool sensorEmptyAlarm);

}

#endif
