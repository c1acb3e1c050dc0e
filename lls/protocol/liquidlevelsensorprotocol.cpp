#include "lls/protocol/liquidlevelsensorprotocol.h"

// TODO(level sensor issue): the command set.
LiquidLevelSensorProtocol::LiquidLevelSensorProtocol(AbstractInterfaceDriver *driver) : AbstractLLSProtocol(driver) {}
QByteArray LiquidLevelSensorProtocol::ReadRegister(int) { return {}; }
void LiquidLevelSensorProtocol::WriteRegister(int, const QByteArray &) {}
void LiquidLevelSensorProtocol::SelectLiquid(int) {}
void LiquidLevelSensorProtocol::SetFixedOutput(int) {}
void LiquidLevelSensorProtocol::SetMeasuringMode(bool) {}
LevelSensorData LiquidLevelSensorProtocol::ReadMeasurement() { return {}; }
void LiquidLevelSensorProtocol::Commit() {}
