#ifndef DEVICEIDENTIFICATION_H
#define DEVICEIDENTIFICATION_H

#include "device/deviceidentity.h"
#include "device/portreport.h"

#include <QByteArray>

class AbstractDevice;
class AbstractInterfaceDriver;
class DeviceCatalogue;

bool parseLevelSensorId(DeviceIdentity &identity, const QByteArray &response);
bool parsePositionSensorId(DeviceIdentity &identity, const QByteArray &response);

// Decides from the answer to "ID\r" which sensor is on the (open) driver's port and creates its
// device, which then owns the driver. Returns null when the port yields no device; the caller keeps
// the driver then. requestResult is what sendRequest returned for "ID\r". report, when given,
// receives the outcome and its detail.
AbstractDevice *createDevice(AbstractInterfaceDriver *driver, bool requestResult, const QByteArray &response,
                             const DeviceCatalogue &catalogue, PortReport *report = nullptr);

#endif
