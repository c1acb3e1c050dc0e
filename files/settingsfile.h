#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

#include "device/setparamstruct.h"

#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// The checksummed settings file (*.conf): an INI file whose line 2 carries the SHA-1 of every
// later line. Reading, writing and checking live here, on plain values; what a device holds
// becomes such values in LLSSettings, and the device writes the requests planned here.
namespace SettingsFile {

constexpr qint64 MaxBytes = 2000;  // a file of this size or more is refused
constexpr int MaxTablePoints = 128;  // the points a level sensor's tank profile registers hold

// "group/key" -> value, as the file stores them.
using Values = QMap<QString, QString>;

// What kind of sensor a file is applied to.
struct Sensor
{
    QString deviceType;  // "LLS", "ILS", "Murkwell"
    QString outputType;  // "5V", "10V", "mA", "resistive", "CAN"
    bool hasSwitchOutput = false;
    bool hasTankProfileOption = false;
    bool industrial() const { return deviceType == QLatin1String("ILS") || deviceType == QLatin1String("Murkwell"); }
    bool resistive() const { return outputType == QLatin1String("resistive"); }
};

// Writes the values, then the checksum of what was written, then checks the result, all in a
// scratch file that then replaces path whole. False with a reason when any step failed: a file
// left at "checksum=disabled" or half written is no save.
bool save(const QString &path, const QVector<QPair<QString, QString>> &values, QString *error);

// Whether the file's checksum holds (or is "disabled"). Reads at most MaxBytes; anything that is
// not a regular file fails.
bool check(const QString &path);
bool checkText(const QByteArray &text);

// The groups "sensorType" and "settings" of a file; hasSensorType tells whether it had the first.
Values read(const QString &path, bool *hasSensorType = nullptr);
// The same of a file's text already read (and checked): what is used is what was checked.
Values readText(const QByteArray &text, bool *hasSensorType = nullptr);

// Whether the file's "sensorType" group names this kind of sensor (ID, firmware and output type):
// a file is applied only to the kind of sensor it was saved from.
bool matchesSensor(const Values &file, bool hasSensorType, const QString &deviceId, const QString &firmware, const QString &outputType);
// Whether a file saved with one output type applies to a sensor with another: the same, or the
// 5 V and 10 V ranges, which are one voltage output with a range bit that the file itself sets.
bool sameOutputKind(const QString &fileType, const QString &sensorType);

// The requests that apply a file to a sensor, in order, ending with "loadingFinish". Empty, with
// the reason, when a value the sensor would take is missing, not a number or out of range: a
// file is applied whole or not at all.
struct Request
{
    QString param;
    SetParamStruct values;
};
QVector<Request> plan(const Values &file, const Sensor &sensor, QString *error);

}

#endif
