#ifndef LEVELSENSORDATA_H
#define LEVELSENSORDATA_H

#include <QMetaType>

// One live measurement, as the protocol reads it and as the device passes it on processed.
struct LevelSensorData
{
    float status = 0;
    float level = 0;
    float output = 0;
    float internalTemperature = 0;
    float externalTemperature = 0;
    bool readError = false;
};

Q_DECLARE_METATYPE(LevelSensorData)

#endif
