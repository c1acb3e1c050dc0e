#include "lls/device/llssettings.h"

#include "lls/device/levelarithmetic.h"
#include "lls/device/llsdevice.h"

#include <cmath>

namespace LLSSettings {

namespace {

// A whole percent where it gives back the sensor's count, else the exact percentage: a count set
// by other means (a factory value, an FPC file) would otherwise come back a count off.
QString percentText(float percent, int count, int levelMax)
{
    // The hysteresis is saved as a magnitude and loaded with its sign: compare it signed.
    const int whole = LevelArithmetic::roundHalfUp(percent);
    if (LevelArithmetic::countOfPercent(static_cast<float>(count < 0 ? -whole : whole), levelMax) == count)
        return QString::number(whole);
    // A count beyond the scale (1024 of 1023) has no percentage a load takes: the nearest that it does.
    if (percent < 0 || percent > 100)
        return QString::number(qBound(0, whole, 100));
    return QString::number(percent, 'g', 6);
}

QString valueText(float value)
{
    return QString::number(value, 'g', 6);
}

// The shown value when it converts back to the sensor's count, else the count's exact value: a
// value rounded for display can be a count or more off, and a load would write that.
QString outputText(const LLSDevice &d, int count, float shown)
{
    const float step = LevelArithmetic::outputStep(d.MinCalibratedOutput(), d.MaxCalibratedOutput(), d.DacMax());
    const float value = valueText(shown).toFloat();
    if (LevelArithmetic::outputCount(value, d.MinCalibratedOutput(), step) == count)
        return valueText(shown);
    return valueText(d.ExactOutputValue(count));
}

}

QVector<QPair<QString, QString>> valuesOf(const LLSDevice &d, const QString &outputType)
{
    QVector<QPair<QString, QString>> values{
        {QStringLiteral("sensorType/Serial"), d.deviceId()},
        {QStringLiteral("sensorType/Firmware"), d.firmwareVersion()},
        {QStringLiteral("sensorType/ProductType"), d.OutputType()},
        {QStringLiteral("settings/MinMeasuredRange"), percentText(d.MeasuringRangeMinPercent(), d.MeasuringRangeMin(), d.LevelMax())},
        {QStringLiteral("settings/MaxMeasuredRange"), percentText(d.MeasuringRangeMaxPercent(), d.MeasuringRangeMax(), d.LevelMax())},
        {QStringLiteral("settings/TankProfileEnable"), d.TankProfileEnabled() ? QStringLiteral("true") : QStringLiteral("false")},
        {QStringLiteral("settings/TankProfileLiquidLevel"), d.TankProfileLevels().join(QLatin1Char(','))},
        {QStringLiteral("settings/TankProfileOutputLevel"), d.TankProfileOutputs().join(QLatin1Char(','))},
        {QStringLiteral("settings/MinOutputRange"), outputText(d, d.OutputRangeMin(), d.OutputRangeMinValue())},
        {QStringLiteral("settings/MaxOutputRange"), outputText(d, d.OutputRangeMax(), d.OutputRangeMaxValue())},
    };
    if (outputType == QLatin1String("resistive"))
        values.append({QStringLiteral("settings/MidOutputRange"), outputText(d, d.MidOutput(), d.MidOutputValue())});
    values.append({QStringLiteral("settings/SwitchOutputAlarmMode"), d.HysteresisAbove() ? QStringLiteral("empty") : QStringLiteral("full")});
    values.append({QStringLiteral("settings/WarningLevel"), percentText(d.WarningLevelPercent(), d.WarningLevel(), d.LevelMax())});
    values.append({QStringLiteral("settings/WarningHysteresis"), percentText(d.HysteresisPercent(), d.WarningHysteresis(), d.LevelMax())});
    return values;
}

SettingsFile::Sensor sensorOf(const LLSDevice &device, const QString &outputType)
{
    return {device.deviceType(), outputType, device.HasSwitchOutput(), device.HasTankProfileOption()};
}

QString saveRefusal(const LLSDevice &device, const QString &outputType)
{
    if (device.LoadIncomplete())
        return QObject::tr("some of the sensor's registers did not answer when it was read; read it again before saving");
    SettingsFile::Values asRead;
    for (const auto &value : valuesOf(device, outputType))
        asRead.insert(value.first, value.second);
    QString error;
    return SettingsFile::plan(asRead, sensorOf(device, outputType), &error).isEmpty() ? error : QString();
}

QVector<Comparison> compare(const SettingsFile::Values &file, const SettingsFile::Sensor &sensor, const LLSDevice &device)
{
    using namespace LevelArithmetic;
    QVector<Comparison> rows;
    if (!sensor.industrial())
        return rows;
    // Settings are compared in the sensor's counts, worked out from the file's values exactly as a
    // load writes them: a value rounded for display is for eyes, never for a check. The texts
    // beside them are for eyes.
    auto text = [&file](const char *key) { return file.value(QLatin1String(key)); };
    auto value = [&file](const char *key) { return file.value(QLatin1String(key)).toFloat(); };
    auto level = [&](const char *key, float sign = 1) { return countOfPercent(sign * value(key), device.LevelMax()); };
    // Shown as the sensor's page shows them: whole percents, outputs to the decimals of their step.
    auto percent = [&](int count) { return QString::number(roundHalfUp(percentOfCount(std::abs(count), device.LevelMax()))); };
    rows.append({QObject::tr("measuring range"), QObject::tr("%1 to %2 %").arg(text("settings/MinMeasuredRange"), text("settings/MaxMeasuredRange")),
                 QObject::tr("%1 to %2 %").arg(percent(device.MeasuringRangeMin()), percent(device.MeasuringRangeMax())),
                 device.MeasuringRangeMin() == level("settings/MinMeasuredRange") && device.MeasuringRangeMax() == level("settings/MaxMeasuredRange")});
    const float step = outputStep(device.MinCalibratedOutput(), device.MaxCalibratedOutput(), device.DacMax());
    auto output = [&](const char *key) { return outputCount(value(key), device.MinCalibratedOutput(), step); };
    auto shown = [&](int count) {
        return QString::number(outputValue(count, device.MinCalibratedOutput(), device.MaxCalibratedOutput(), device.DacMax()), 'f', device.OutputDecimals());
    };
    const QString unit = device.OutputUnit().isEmpty() ? QString() : QLatin1Char(' ') + device.OutputUnit();
    rows.append({QObject::tr("output range"),
                 (sensor.resistive() ? QObject::tr("%1 to %2 (midpoint %3)").arg(text("settings/MinOutputRange"), text("settings/MaxOutputRange"), text("settings/MidOutputRange"))
                                     : QObject::tr("%1 to %2").arg(text("settings/MinOutputRange"), text("settings/MaxOutputRange"))) + unit,
                 (sensor.resistive() ? QObject::tr("%1 to %2 (midpoint %3)").arg(shown(device.OutputRangeMin()), shown(device.OutputRangeMax()), shown(device.MidOutput()))
                                     : QObject::tr("%1 to %2").arg(shown(device.OutputRangeMin()), shown(device.OutputRangeMax()))) + unit,
                 device.OutputRangeMin() == output("settings/MinOutputRange") && device.OutputRangeMax() == output("settings/MaxOutputRange")
                     && (!sensor.resistive() || device.MidOutput() == output("settings/MidOutputRange"))});
    if (sensor.hasSwitchOutput) {
        const bool full = text("settings/SwitchOutputAlarmMode") == QLatin1String("full");
        auto alarm = [](bool isFull, const QString &at, const QString &hysteresis) {
            return (isFull ? QObject::tr("full alarm at %1 %, hysteresis %2 %") : QObject::tr("empty alarm at %1 %, hysteresis %2 %")).arg(at, hysteresis);
        };
        rows.append({QObject::tr("switch output"), alarm(full, text("settings/WarningLevel"), text("settings/WarningHysteresis")),
                     alarm(!device.HysteresisAbove(), percent(device.WarningLevel()), percent(device.WarningHysteresis())),
                     device.WarningLevel() == level("settings/WarningLevel") && device.WarningHysteresis() == level("settings/WarningHysteresis", full ? -1 : 1)});
    }
    if (sensor.hasTankProfileOption) {
        const bool enable = text("settings/TankProfileEnable") == QLatin1String("true");
        auto table = [](bool on, const QStringList &levels) {
            return on ? QObject::tr("on, %1 points").arg(levels.size()) : QObject::tr("off");
        };
        const QStringList fileLevels = text("settings/TankProfileLiquidLevel").split(QLatin1Char(','));
        bool same = device.TankProfileEnabled() == enable;
        if (same && enable)
            for (const auto &list : {qMakePair(fileLevels, device.TankProfileLevels()),
                                     qMakePair(text("settings/TankProfileOutputLevel").split(QLatin1Char(',')), device.TankProfileOutputs())}) {
                same = same && list.first.size() == list.second.size();
                for (int i = 0; same && i < list.first.size(); ++i)
                    same = countOfPercent(list.first.at(i).toFloat(), device.LevelMax()) == countOfPercent(list.second.at(i).toFloat(), device.LevelMax());
            }
        rows.append({QObject::tr("tank profile"), table(enable, fileLevels), table(device.TankProfileEnabled(), device.TankProfileLevels()), same});
    }
    // A difference smaller than the rounding shows in counts, so that the two sides never read alike.
    for (Comparison &row : rows)
        if (!row.same && row.file == row.sensor)
            row.sensor += QObject::tr(" (in counts: another value)");
    return rows;
}

QStringList mismatches(const SettingsFile::Values &file, const SettingsFile::Sensor &sensor, const LLSDevice &device)
{
    QStringList wrong;
    for (const Comparison &row : compare(file, sensor, device))
        if (!row.same)
            wrong << row.setting;
    return wrong;
}

}
