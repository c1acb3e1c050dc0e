#include "lls/device/llsdevice.h"

#include "device/abstractinterfacedriver.h"
#include "lls/protocol/abstractllsprotocol.h"

LLSDevice::LLSDevice(AbstractLLSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry)
    : AbstractDevice(identity)
    , protocol(protocol)
{
    setNameAndType(entry.Name, entry.DeviceType, QStringLiteral("Uncatalogued LLS Device [%1]"));
}

LLSDevice::~LLSDevice()
{
    delete protocol;
}

AbstractInterfaceDriver *LLSDevice::interfaceDriver() const
{
    return protocol->Driver();
}

bool LLSDevice::open()
{
    return protocol->Driver()->open();
}

void LLSDevice::close()
{
    protocol->Driver()->close();
}
