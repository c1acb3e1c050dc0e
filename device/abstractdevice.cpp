#include "device/abstractdevice.h"

#include "device/abstractinterfacedriver.h"

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

bool AbstractDevice::openDriver(AbstractInterfaceDriver *driver)
{
    if (driver->open())
        return true;
    const QString reason = driver->openError();
    emit CommunicationFailed(QStringLiteral("open"),
                             reason.isEmpty() ? tr("Cannot open %1.").arg(driver->name())
                                              : tr("Cannot open %1: %2.").arg(driver->name(), reason),
                             true);
    return false;
}

void AbstractDevice::reportNoAnswer(AbstractInterfaceDriver *driver, const QString &request)
{
    emit CommunicationFailed(request, tr("The sensor on %1 did not answer.").arg(driver->name()), false);
}

void AbstractDevice::moveToThreadWithParts(QThread *thread)
{
    moveToThread(thread);
    if (QObject *protocol = protocolObject())
        protocol->moveToThread(thread);
    if (AbstractInterfaceDriver *driver = interfaceDriver())
        driver->moveToThreadWithPort(thread);
}
