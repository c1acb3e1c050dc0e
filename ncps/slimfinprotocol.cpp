#include "ncps/slimfinprotocol.h"

#include "device/abstractinterfacedriver.h"

SlimfinProtocol::SlimfinProtocol(AbstractInterfaceDriver *driver)
    : driver(driver)
{
}

SlimfinProtocol::~SlimfinProtocol()
{
    delete driver;
}

// TODO(position sensor issue): list parsing.
NCPSMeasurement SlimfinProtocol::ReadMeasurement() { return {}; }
NCPSParameter SlimfinProtocol::ReadParameter() { return {}; }
