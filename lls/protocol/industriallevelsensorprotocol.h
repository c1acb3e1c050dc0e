#ifndef INDUSTRIALLEVELSENSORPROTOCOL_H
#define INDUSTRIALLEVELSENSORPROTOCOL_H

#include "lls/protocol/abstractllsprotocol.h"

// The level sensor command set for sensors that accept configuration only while unlocked.
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
    bool Release() override;

    bool isLocked() const { return locked; }

private:
    void unlock();
    void lock();

    bool locked = true;
    // A lock that went unanswered as the port closed: the sensor may be either way.
    bool uncertain = false;
};

#endif
