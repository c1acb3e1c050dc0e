#ifndef INDUSTRIALLEVELSENSORPROTOCOL_H
#define INDUSTRIALLEVELSENSORPROTOCOL_H

#include "lls/protocol/abstractllsprotocol.h"

class IndustrialLevelSensorProtocol : public AbstractLLSProtocol
{
    Q_OBJECT
public:
    explicit IndustrialLevelSensorProtocol(AbstractInterfaceDriver *driver);

    QByteArray ReadRegister(int address) override;
    void WriteRegister(int address, const QByteArray &value) override;
    void SelectLiquid(int index) override;
    void SetFixedOutput(int count) override;
    void SetMeasuringMode(bool on) override;
    LevelSensorData ReadMeasurement() override;
    void Commit() override;
};

#endif
