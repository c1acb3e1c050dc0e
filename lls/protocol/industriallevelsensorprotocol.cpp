#include "lls/protocol/industriallevelsensorprotocol.h"

// TODO(level sensor issue): the command set.
IndustrialLevelSensorProtocol::IndustrialLevelSensorProtocol(AbstractInterfaceDriver *driver) : AbstractLLSProtocol(driver) {}
QByteArray IndustrialLevelSensorProtocol::ReadRegister(int) { return {}; }
void IndustrialLevelSensorProtocol::WriteRegister(int, const QByteArray &) {}
void IndustrialLevelSensorProtocol::SelectLiquid(int) {}
void IndustrialLevelSensorProtocol::SetFixedOutput(int) {}
void IndustrialLevelSensorProtocol::SetMeasuringMode(bool) {}
LevelSensorData IndustrialLevelSensorProtocol::ReadMeasurement() { return {}; }
void IndustrialLevelSensorProtocol::Commit() {}
