#include "device/abstractdevice.h"

AbstractDevice::AbstractDevice(const DeviceIdentity &identity)
    : QObject(nullptr)
    , m_deviceId(identity.deviceId)
    , m_serialNumber(identity.serialNumber)
    , m_firmwareVersion(identity.firmwareVersion)
{
}

void AbstractDevice::setNameAndType(const QString &catalogueName, const QString &catalogueType,
                                    const QString &uncataloguedPattern)
{
    if (!catalogueName.isEmpty()) {
        m_name = catalogueName;
        m_deviceType = catalogueType;
    } else {
        m_name = uncataloguedPattern.arg(m_deviceId);
        m_deviceType.clear();
    }
}
