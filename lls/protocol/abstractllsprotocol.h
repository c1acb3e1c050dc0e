#ifndef ABSTRACTLLSPROTOCOL_H
#define ABSTRACTLLSPROTOCOL_H

#include "lls/device/levelsensordata.h"

#include <QByteArray>
#include <QObject>

class AbstractInterfaceDriver;

// The register-oriented command set of liquid level sensors. Owns its driver.
class AbstractLLSProtocol : public QObject
{
    Q_OBJECT
public:
    explicit AbstractLLSProtocol(AbstractInterfaceDriver *driver);
    ~AbstractLLSProtocol() override;

    AbstractInterfaceDriver *Driver() const { return driver; }

    virtual QByteArray ReadRegister(int address) = 0;
    virtual void WriteRegister(int address, const QByteArray &value) = 0;
    virtual void SelectLiquid(int index) = 0;
    virtual void SetFixedOutput(int count) = 0;
    virtual void SetMeasuringMode(bool on) = 0;
    virtual LevelSensorData ReadMeasurement() = 0;
    virtual void Commit() = 0;

    static bool IsAlphaNumQByte(const QByteArray &hexValue, bool rejectAllSpaces);

protected:
    AbstractInterfaceDriver *driver;
};

#endif
