#ifndef LIQUIDLEVELSENSORPROTOCOL_H
#define LIQUIDLEVELSENSORPROTOCOL_H

#include "lls/protocol/abstractllsprotocol.h"

class LiquidLevelSensorProtocol : public AbstractLLSProtocol
{
    Q_OBJECT
public:
    explicit LiquidLevelSensorProtocol(AbstractInterfaceDriver *driver);

    QByteArray ReadRegister(int address) override;
    void WriteRegister(int address, const QByteArray &value) override;
    void SelectLiquid(int index) override;
    void SetFixedOutput(int count) override;
    void SetMeasuringMode(bool on) override;
    LevelSensorData ReadMeasurement() override;
    void Commit() override;
};

#endif
