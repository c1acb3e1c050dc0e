#include "files/settingsfile.h"

#include "device/boundedfile.h"
#include "lls/device/levelarithmetic.h"
#include "lls/device/llsdevice.h"

#include <QDebug>
#include <QFile>
#include <QSettings>

#include <cmath>

namespace SettingsFile {

namespace {

QString percentText(float percent)
{
    return QString::number(LevelArithmetic::roundHalfUp(percent));
}

QString valueText(float value)
{
    return QString::number(value, 'g', 6);
}

bool number(const Values &file, const QString &key, float *out, float low, float high)
{
    bool ok = false;
    const QString text = file.value(key);
    const float value = text.toFloat(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        return false;
    *out = value;
    return true;
}

}

QVector<QPair<QString, QString>> valuesOf(const LLSDevice &d, const QString &outputType)
{
    QVector<QPair<QString, QString>> values{
        {QStringLiteral("sensorType/Serial"), d.deviceId()},
        {QStringLiteral("sensorType/Firmware"), d.firmwareVersion()},
        {QStringLiteral("sensorType/ProductType"), d.OutputType()},
        {QStringLiteral("settings/MinMeasuredRange"), percentText(d.MeasuringRangeMinPercent())},
        {QStringLiteral("settings/MaxMeasuredRange"), percentText(d.MeasuringRangeMaxPercent())},
        {QStringLiteral("settings/TankProfileEnable"), d.TankProfileEnabled() ? QStringLiteral("true") : QStringLiteral("false")},
        {QStringLiteral("settings/TankProfileLiquidLevel"), d.TankProfileLevels().join(QLatin1Char(','))},
        {QStringLiteral("settings/TankProfileOutputLevel"), d.TankProfileOutputs().join(QLatin1Char(','))},
        {QStringLiteral("settings/MinOutputRange"), valueText(d.OutputRangeMinValue())},
        {QStringLiteral("settings/MaxOutputRange"), valueText(d.OutputRangeMaxValue())},
    };
    if (outputType == QLatin1String("resistive"))
        values.append({QStringLiteral("settings/MidOutputRange"), valueText(d.MidOutputValue())});
    values.append({QStringLiteral("settings/SwitchOutputAlarmMode"), d.HysteresisAbove() ? QStringLiteral("empty") : QStringLiteral("full")});
    values.append({QStringLiteral("settings/WarningLevel"), percentText(d.WarningLevelPercent())});
    values.append({QStringLiteral("settings/WarningHysteresis"), percentText(d.HysteresisPercent())});
    return values;
}

bool save(const QString &path, const QVector<QPair<QString, QString>> &values, QString *error)
{
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("checksum/checksum"), QStringLiteral("disabled"));
        for (const auto &value : values)
            settings.setValue(value.first, value.second);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            *error = QObject::tr("The settings could not be written to %1.").arg(path);
            return false;
        }
    }

    QByteArray text;
    if (readBoundedFile(path, MaxBytes, &text) != BoundedRead::Ok) {
        qDebug() << "Error opening file:" << path;
        *error = QObject::tr("%1 could not be read back to sign it (a settings file must stay under %2 bytes).")
                     .arg(path)
                     .arg(MaxBytes);
        return false;
    }
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("checksum/checksum"), QString::fromLatin1(checksumLines(text).expected.mid(9)));
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            *error = QObject::tr("The checksum could not be written to %1.").arg(path);
            return false;
        }
    }
    // A file that does not pass its own check would be refused when loaded: no save at all.
    QByteArray signedText;
    if (readBoundedFile(path, MaxBytes, &signedText) != BoundedRead::Ok || !checksumLines(signedText).matches()) {
        *error = QObject::tr("%1 was not written completely.").arg(path);
        return false;
    }
    return true;
}

bool checkText(const QByteArray &text)
{
    const ChecksumLines lines = checksumLines(text);
    if (lines.disabled()) {
        qDebug() << "Checksum disabled!";
        return true;
    }
    return lines.matches();
}

bool check(const QString &path)
{
    QByteArray text;
    if (readBoundedFile(path, MaxBytes, &text) != BoundedRead::Ok) {
        qDebug() << "Error opening file:" << path;
        return false;
    }
    return checkText(text);
}

Values read(const QString &path, bool *hasSensorType)
{
    Values values;
    QSettings settings(path, QSettings::IniFormat);
    const QStringList groups = settings.childGroups();
    if (hasSensorType)
        *hasSensorType = groups.contains(QStringLiteral("sensorType"));
    for (const QString &group : {QStringLiteral("sensorType"), QStringLiteral("settings")}) {
        if (!groups.contains(group))
            continue;
        settings.beginGroup(group);
        for (const QString &key : settings.childKeys())
            values.insert(group + '/' + key, settings.value(key).toString());
        settings.endGroup();
    }
    return values;
}

QVector<Request> plan(const Values &file, const Sensor &sensor, QString *error)
{
    QVector<Request> requests;
    auto refuse = [&requests, error](const QString &why) {
        *error = why;
        requests.clear();
        return requests;
    };
    if (sensor.industrial()) {
        Request range{QStringLiteral("measuringRange"), {}};
        if (!number(file, QStringLiteral("settings/MinMeasuredRange"), &range.values.value1, 0, 100)
            || !number(file, QStringLiteral("settings/MaxMeasuredRange"), &range.values.value2, 0, 100))
            return refuse(QObject::tr("the measuring range is missing or outside 0 to 100 %"));
        requests.append(range);

        Request output{QStringLiteral("outputRange"), {}};
        const float big = 1e6f;
        if (!number(file, QStringLiteral("settings/MinOutputRange"), &output.values.value1, -big, big)
            || !number(file, QStringLiteral("settings/MaxOutputRange"), &output.values.value2, -big, big)
            || (sensor.resistive() && !number(file, QStringLiteral("settings/MidOutputRange"), &output.values.value3, -big, big)))
            return refuse(QObject::tr("the output range is missing or not a number"));
        requests.append(output);

        if (sensor.hasSwitchOutput) {
            Request alarm{QStringLiteral("switchOutput"), {}};
            if (!number(file, QStringLiteral("settings/WarningLevel"), &alarm.values.value1, 0, 100)
                || !number(file, QStringLiteral("settings/WarningHysteresis"), &alarm.values.value2, 0, 100))
                return refuse(QObject::tr("the switch output is missing or outside 0 to 100 %"));
            if (file.value(QStringLiteral("settings/SwitchOutputAlarmMode")) == QLatin1String("full"))
                alarm.values.value2 = -alarm.values.value2;
            requests.append(alarm);
        }

        if (sensor.hasTankProfileOption) {
            Request table{QStringLiteral("tankProfileEnable,tankProfile"), {}};
            if (file.value(QStringLiteral("settings/TankProfileEnable")) == QLatin1String("true")) {
                const QStringList levels = file.value(QStringLiteral("settings/TankProfileLiquidLevel")).split(QLatin1Char(','));
                const QStringList outputs = file.value(QStringLiteral("settings/TankProfileOutputLevel")).split(QLatin1Char(','));
                if (levels.size() != outputs.size() || levels.size() > LLSDevice::MaxTankProfilePoints)
                    return refuse(QObject::tr("the tank profile's lists differ in length or hold more than %1 points")
                                      .arg(LLSDevice::MaxTankProfilePoints));
                for (const QStringList *list : {&levels, &outputs}) {
                    for (const QString &point : *list) {
                        bool ok = false;
                        const float percent = point.toFloat(&ok);
                        if (!ok || !(percent >= 0 && percent <= 100))
                            return refuse(QObject::tr("the tank profile holds a point outside 0 to 100 %"));
                    }
                }
                table.values.text = QStringLiteral("true");
                table.values.profileLevels = levels;
                table.values.profileOutputs = outputs;
            } else {
                table.values.text = QStringLiteral("false");
            }
            requests.append(table);
        }
    }
    requests.append({QStringLiteral("loadingFinish"), {}});
    return requests;
}

QStringList mismatches(const Values &file, const Sensor &sensor, const LLSDevice &device)
{
    QStringList wrong;
    if (!sensor.industrial())
        return wrong;
    auto percent = [&file](const char *key) { return LevelArithmetic::roundHalfUp(file.value(QLatin1String(key)).toFloat()); };
    if (LevelArithmetic::roundHalfUp(device.MeasuringRangeMinPercent()) != percent("settings/MinMeasuredRange")
        || LevelArithmetic::roundHalfUp(device.MeasuringRangeMaxPercent()) != percent("settings/MaxMeasuredRange"))
        wrong << QObject::tr("measuring range");
    // Output values go through the converter's counts: one count either way is the same setting.
    const double step = (static_cast<double>(device.MaxCalibratedOutput()) - device.MinCalibratedOutput()) / device.DacMax();
    auto sameValue = [&file, step](const char *key, float actual) {
        return std::fabs(file.value(QLatin1String(key)).toDouble() - actual) <= step + 1e-6;
    };
    if (!sameValue("settings/MinOutputRange", device.OutputRangeMinValue()) || !sameValue("settings/MaxOutputRange", device.OutputRangeMaxValue())
        || (sensor.resistive() && !sameValue("settings/MidOutputRange", device.MidOutputValue())))
        wrong << QObject::tr("output range");
    if (sensor.hasSwitchOutput) {
        const bool full = file.value(QStringLiteral("settings/SwitchOutputAlarmMode")) == QLatin1String("full");
        if (LevelArithmetic::roundHalfUp(device.WarningLevelPercent()) != percent("settings/WarningLevel")
            || LevelArithmetic::roundHalfUp(device.HysteresisPercent()) != percent("settings/WarningHysteresis")
            || (percent("settings/WarningHysteresis") != 0 && device.HysteresisAbove() == full))
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
                    same = std::fabs(expected.at(i).toDouble() - list.second.at(i).toDouble()) < 0.15;
                if (!same) {
                    wrong << QObject::tr("tank profile table");
                    break;
                }
            }
    }
    return wrong;
}

}
