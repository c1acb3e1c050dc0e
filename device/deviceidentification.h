#ifndef DEVICEIDENTIFICATION_H
#define DEVICEIDENTIFICATION_H

#include "device/deviceidentity.h"

#include <QByteArray>

class AbstractDevice;
class AbstractInterfaceDriver;
class DeviceCatalogue;

bool parseLevelSensorId(DeviceIdentity &identity, const QByteArray &response);
bool parsePositionSensorId(DeviceIdentity &identity, const QByteArray &response);

// Decides from the answer to "ID\r" which sensor is on the (open) driver's port and creates its
// device, which then owns the driver. Returns null when the port yields no device; the caller keeps
// the driver then. requestResult is what sendRequest returned for "ID\r".
AbstractDevice *createDevice(AbstractInterfaceDriver *driver, bool requestResult, const QByteArray &response,
                             const DeviceCatalogue &catalogue);

#endif
