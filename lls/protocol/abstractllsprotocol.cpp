#include "lls/protocol/abstractllsprotocol.h"

#include "device/abstractinterfacedriver.h"

AbstractLLSProtocol::AbstractLLSProtocol(AbstractInterfaceDriver *driver)
    : QObject(nullptr)
    , driver(driver)
{
}

AbstractLLSProtocol::~AbstractLLSProtocol()
{
    delete driver;
}

bool AbstractLLSProtocol::IsAlphaNumQByte(const QByteArray &hexValue, bool rejectAllSpaces)
{
    // TODO(level sensor issue): implement.
    Q_UNUSED(hexValue)
    Q_UNUSED(rejectAllSpaces)
    return false;
}
