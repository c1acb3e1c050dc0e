#include "files/settingsfile.h"

#include "device/boundedfile.h"
#include "device/logcategories.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>

namespace SettingsFile {

namespace {

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

// The keys a save writes, and so replaces when it saves over a file: another program's keys stay.
const QStringList OwnKeys{"checksum/checksum", "sensorType/Serial", "sensorType/Firmware", "sensorType/ProductType",
                          "settings/MinMeasuredRange", "settings/MaxMeasuredRange", "settings/TankProfileEnable",
                          "settings/TankProfileLiquidLevel", "settings/TankProfileOutputLevel", "settings/MinOutputRange",
                          "settings/MaxOutputRange", "settings/MidOutputRange", "settings/SwitchOutputAlarmMode",
                          "settings/WarningLevel", "settings/WarningHysteresis"};

bool save(const QString &path, const QVector<QPair<QString, QString>> &values, QString *error)
{
    // The keys of the file saved over that are not this program's, as they are (QSettings reads a
    // file only by name: a private copy of what was read).
    QVector<QPair<QString, QVariant>> kept;
    QByteArray old;
    QTemporaryDir oldCopy;
    if (QFileInfo::exists(path) && readBoundedFile(path, MaxBytes, &old) == BoundedRead::Ok && oldCopy.isValid()) {
        QFile copy(oldCopy.filePath(QStringLiteral("old.conf")));
        if (copy.open(QIODevice::WriteOnly) && copy.write(old) == old.size()) {
            copy.close();
            QSettings previous(copy.fileName(), QSettings::IniFormat);
            for (const QString &key : previous.allKeys())
                if (!OwnKeys.contains(key))
                    kept.append({key, previous.value(key)});
        }
    }
    // Written and signed in a fresh file of its own beside the target, then put in place whole: a
    // full disk never leaves half a file, and none of this program's keys of an older file survives.
    QTemporaryDir scratch(QFileInfo(path).absolutePath() + QStringLiteral("/.settings-XXXXXX"));
    const QString draft = scratch.filePath(QStringLiteral("settings.conf"));
    {
        QSettings settings(draft, QSettings::IniFormat);
        settings.setValue(QStringLiteral("checksum/checksum"), QStringLiteral("disabled"));
        for (const auto &value : kept)
            settings.setValue(value.first, value.second);
        for (const auto &value : values)
            settings.setValue(value.first, value.second);
        settings.sync();
        if (!scratch.isValid() || settings.status() != QSettings::NoError) {
            *error = QObject::tr("The settings could not be written to %1.").arg(path);
            return false;
        }
    }

    QByteArray text;
    if (readBoundedFile(draft, MaxBytes, &text) != BoundedRead::Ok) {
        qCDebug(lcDevice) << "Error opening file:" << draft;
        *error = QObject::tr("%1 could not be read back to sign it (a settings file must stay under %2 bytes).")
                     .arg(path)
                     .arg(MaxBytes);
        return false;
    }
    {
        QSettings settings(draft, QSettings::IniFormat);
        settings.setValue(QStringLiteral("checksum/checksum"), QString::fromLatin1(checksumLines(text).expected.mid(9)));
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            *error = QObject::tr("The checksum could not be written to %1.").arg(path);
            return false;
        }
    }
    // A file that does not pass its own check would be refused when loaded: no save at all.
    QByteArray signedText;
    if (readBoundedFile(draft, MaxBytes, &signedText) != BoundedRead::Ok || !checksumLines(signedText).matches()) {
        *error = QObject::tr("%1 was not written completely.").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(signedText) != signedText.size() || !file.commit()) {
        *error = QObject::tr("The settings could not be written to %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool checkText(const QByteArray &text)
{
    const ChecksumLines lines = checksumLines(text);
    if (lines.disabled()) {
        // A check skipped is worth a word even when nobody asked for diagnostics.
        qCWarning(lcDevice) << "Checksum disabled!";
        return true;
    }
    return lines.matches();
}

bool check(const QString &path)
{
    QByteArray text;
    if (readBoundedFile(path, MaxBytes, &text) != BoundedRead::Ok) {
        qCDebug(lcDevice) << "Error opening file:" << path;
        return false;
    }
    return checkText(text);
}

bool sameOutputKind(const QString &fileType, const QString &sensorType)
{
    auto voltage = [](const QString &type) { return type == QLatin1String("5V") || type == QLatin1String("10V"); };
    return fileType == sensorType || (voltage(fileType) && voltage(sensorType));
}

bool matchesSensor(const Values &file, bool hasSensorType, const QString &deviceId, const QString &firmware, const QString &outputType)
{
    return hasSensorType && file.value(QStringLiteral("sensorType/Serial")) == deviceId
        && file.value(QStringLiteral("sensorType/Firmware")) == firmware
        && sameOutputKind(file.value(QStringLiteral("sensorType/ProductType")), outputType);
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

Values readText(const QByteArray &text, bool *hasSensorType)
{
    // QSettings reads only files: a private copy of exactly these bytes.
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("settings.conf"));
    QFile file(copy);
    if (!scratch.isValid() || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        if (hasSensorType)
            *hasSensorType = false;
        return {};
    }
    file.close();
    return read(copy, hasSensorType);
}

QVector<Request> plan(const Values &file, const Sensor &sensor, QString *error)
{
    QVector<Request> requests;
    bool refused = false;
    // Each refusal names the setting and the value that stops it.
    auto take = [&](const char *key, float *out, float low, float high) {
        if (refused)
            return false;
        if (number(file, QLatin1String(key), out, low, high))
            return true;
        const QString name = QString::fromLatin1(key).section(QLatin1Char('/'), 1);
        *error = file.contains(QLatin1String(key))
            ? QObject::tr("%1 is \"%2\", not a number from %3 to %4").arg(name, file.value(QLatin1String(key))).arg(low).arg(high)
            : QObject::tr("%1 is missing").arg(name);
        refused = true;
        return false;
    };
    if (sensor.industrial()) {
        Request range{QStringLiteral("measuringRange"), {}};
        take("settings/MinMeasuredRange", &range.values.value1, 0, 100);
        take("settings/MaxMeasuredRange", &range.values.value2, 0, 100);
        requests.append(range);

        Request output{QStringLiteral("outputRange"), {}};
        const float big = 1e6f;
        take("settings/MinOutputRange", &output.values.value1, -big, big);
        take("settings/MaxOutputRange", &output.values.value2, -big, big);
        if (sensor.resistive())
            take("settings/MidOutputRange", &output.values.value3, -big, big);
        requests.append(output);

        if (sensor.hasSwitchOutput) {
            Request alarm{QStringLiteral("switchOutput"), {}};
            take("settings/WarningLevel", &alarm.values.value1, 0, 100);
            take("settings/WarningHysteresis", &alarm.values.value2, 0, 100);
            if (file.value(QStringLiteral("settings/SwitchOutputAlarmMode")) == QLatin1String("full"))
                alarm.values.value2 = -alarm.values.value2;
            requests.append(alarm);
        }

        if (sensor.hasTankProfileOption && !refused) {
            // The table first: profiling goes on only with a table the sensor took.
            Request table{QStringLiteral("tankProfile,tankProfileEnable"), {}};
            if (file.value(QStringLiteral("settings/TankProfileEnable")) == QLatin1String("true")) {
                const QString levelText = file.value(QStringLiteral("settings/TankProfileLiquidLevel"));
                const QStringList levels = levelText.split(QLatin1Char(','));
                const QStringList outputs = file.value(QStringLiteral("settings/TankProfileOutputLevel")).split(QLatin1Char(','));
                if (levelText.isEmpty()) {
                    *error = QObject::tr("the tank profile is on, but its table is empty (it could not be read from the sensor)");
                    refused = true;
                } else if (levels.size() != outputs.size() || levels.size() > MaxTablePoints) {
                    *error = QObject::tr("the tank profile has %1 levels and %2 outputs; it must have as many of each, at most %3")
                                 .arg(levels.size())
                                 .arg(outputs.size())
                                 .arg(MaxTablePoints);
                    refused = true;
                }
                for (int i = 0; i < levels.size() * 2 && !refused; ++i) {
                    const QString &point = i % 2 == 0 ? levels.at(i / 2) : outputs.at(i / 2);
                    bool ok = false;
                    const float percent = point.toFloat(&ok);
                    if (!ok || !(percent >= 0 && percent <= 100)) {
                        *error = QObject::tr("the tank profile's %1 \"%2\" of point %3 is not a number from 0 to 100 %")
                                     .arg(i % 2 == 0 ? QObject::tr("level") : QObject::tr("output"), point)
                                     .arg(i / 2 + 1);
                        refused = true;
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
    if (refused)
        return {};
    requests.append({QStringLiteral("loadingFinish"), {}});
    return requests;
}


}
