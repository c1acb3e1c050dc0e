#ifndef LLSSETTINGS_H
#define LLSSETTINGS_H

#include "files/settingsfile.h"

class LLSDevice;

// A level sensor's settings as a settings file keeps them, and the other way round: what the
// file format (SettingsFile) knows nothing of.
namespace LLSSettings {

// The values of a loaded device, as the file keeps them, in the order they are written.
QVector<QPair<QString, QString>> valuesOf(const LLSDevice &device, const QString &outputType);

// The kind of sensor the device is, for the files, with the output type the page shows.
SettingsFile::Sensor sensorOf(const LLSDevice &device, const QString &outputType);

// Why a load would refuse the device's values as saved (the value that stops it); empty when it
// would take them. A file a load refuses is no save.
QString saveRefusal(const LLSDevice &device, const QString &outputType);

// One setting of a file beside what the device holds: the texts for eyes, the verdict in counts.
struct Comparison
{
    QString setting;  // "measuring range" ...
    QString file;
    QString sensor;
    bool same = false;
};
// Every setting the file gives this kind of sensor, compared with the device as last read.
QVector<Comparison> compare(const SettingsFile::Values &file, const SettingsFile::Sensor &sensor, const LLSDevice &device);

// After a load: the settings of the file that the device does not hold now, by name.
QStringList mismatches(const SettingsFile::Values &file, const SettingsFile::Sensor &sensor, const LLSDevice &device);

}

#endif
