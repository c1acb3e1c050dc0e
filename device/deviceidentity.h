#ifndef DEVICEIDENTITY_H
#define DEVICEIDENTITY_H

#include <QString>

struct DeviceIdentity
{
    QString deviceId;
    QString firmwareVersion;
    QString serialNumber;
};

#endif
