#include "ncps/ncpsdevice.h"

#include "device/abstractinterfacedriver.h"
#include "ncps/abstractncpsprotocol.h"

NCPSDevice::NCPSDevice(AbstractNCPSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry)
    : AbstractDevice(identity)
    , protocol(protocol)
{
    setNameAndType(entry.Name, entry.DeviceType, QStringLiteral("Uncatalogued NCPS Device [%1]"));
}

NCPSDevice::~NCPSDevice()
{
    delete protocol;
}

AbstractInterfaceDriver *NCPSDevice::interfaceDriver() const
{
    return protocol->interfaceDriver();
}

bool NCPSDevice::open()
{
    return protocol->interfaceDriver()->open();
}

void NCPSDevice::close()
{
    protocol->interfaceDriver()->close();
}
