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

QStringList mismatches(const SettingsFile::Values &file, const SettingsFile::Sensor &sensor, const LLSDevice &device)
{
    using namespace LevelArithmetic;
    QStringList wrong;
    if (!sensor.industrial())
        return wrong;
    // Settings are compared in the sensor's counts, worked out from the file's values exactly as a
    // load writes them: a value rounded for display is for eyes, never for a check.
    auto value = [&file](const char *key) { return file.value(QLatin1String(key)).toFloat(); };
    auto level = [&](const char *key, float sign = 1) { return countOfPercent(sign * value(key), device.LevelMax()); };
    if (device.MeasuringRangeMin() != level("settings/MinMeasuredRange") || device.MeasuringRangeMax() != level("settings/MaxMeasuredRange"))
        wrong << QObject::tr("measuring range");
    const float step = outputStep(device.MinCalibratedOutput(), device.MaxCalibratedOutput(), device.DacMax());
    auto output = [&](const char *key) { return outputCount(value(key), device.MinCalibratedOutput(), step); };
    if (device.OutputRangeMin() != output("settings/MinOutputRange") || device.OutputRangeMax() != output("settings/MaxOutputRange")
        || (sensor.resistive() && device.MidOutput() != output("settings/MidOutputRange")))
        wrong << QObject::tr("output range");
    if (sensor.hasSwitchOutput) {
        const bool full = file.value(QStringLiteral("settings/SwitchOutputAlarmMode")) == QLatin1String("full");
        if (device.WarningLevel() != level("settings/WarningLevel") || device.WarningHysteresis() != level("settings/WarningHysteresis", full ? -1 : 1))
            wrong << QObject::tr("switch output");
    }
    if (sensor.hasTankProfileOption) {
        const bool enable = file.value(QStringLiteral("settings/TankProfileEnable")) == QLatin1String("true");
        if (device.TankProfileEnabled() != enable)
            wrong << QObject::tr("tank profile");
        else if (enable)
            for (const auto &list : {qMakePair(QStringLiteral("settings/TankProfileLiquidLevel"), device.TankProfileLevels()),
                                     qMakePair(QStringLiteral("settings/TankProfileOutputLevel"), device.TankProfileOutputs())}) {
                const QStringList expected = file.value(list.first).split(QLatin1Char(','));
                bool same = expected.size() == list.second.size();
                for (int i = 0; same && i < expected.size(); ++i)
                    same = countOfPercent(expected.at(i).toFloat(), device.LevelMax()) == countOfPercent(list.second.at(i).toFloat(), device.LevelMax());
                if (!same) {
                    wrong << QObject::tr("tank profile table");
                    break;
                }
            }
    }
    return wrong;
}

}
