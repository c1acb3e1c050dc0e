#ifndef ABSTRACTLLSPROTOCOL_H
#define ABSTRACTLLSPROTOCOL_H

#include "lls/device/levelsensordata.h"

#include <QByteArray>
#include <QObject>

#include <atomic>

class AbstractInterfaceDriver;

// The register-oriented command set of liquid level sensors. Owns its driver.
class AbstractLLSProtocol : public QObject
{
    Q_OBJECT
public:
    explicit AbstractLLSProtocol(AbstractInterfaceDriver *driver);
    ~AbstractLLSProtocol() override;

    AbstractInterfaceDriver *Driver() const { return driver; }
    // Exchanges in a row that brought no reply: how the device tells a sensor that stopped answering.
    int FailedExchanges() const { return failedExchanges; }
    void ResetFailedExchanges() { failedExchanges = 0; }
    // From any thread: every later exchange fails at once without reaching the wire, so that the
    // operation under way ends after its current exchange. Resume() lets them through again.
    void Stop() { stopped = true; }
    void Resume() { stopped = false; }
    // While closing, exchanges go through even after a Stop(): the lock that ends a write must.
    void SetClosing(bool on) { closing = on; }

    virtual QByteArray ReadRegister(int address) = 0;
    virtual void WriteRegister(int address, const QByteArray &value) = 0;
    virtual void SelectLiquid(int index) = 0;
    virtual void SetFixedOutput(int count) = 0;
    virtual void SetMeasuringMode(bool on) = 0;
    virtual LevelSensorData ReadMeasurement() = 0;
    virtual void Commit() = 0;
    // Before the port closes: leaves the sensor as the program found it. The industrial variant
    // locks it again when a write left it unlocked.
    virtual void Release() {}

    // Whether a register value read with ReadRegister holds four printable characters.
    static bool IsAlphaNumQByte(const QByteArray &hexValue, bool rejectAllSpaces);

protected:
    // Upper-case hexadecimal without leading zeros, as addresses and numbers go on the wire.
    static QByteArray hexArgument(int number);
    // One exchange; the reply is empty when the driver reports failure.
    QByteArray exchange(const QByteArray &command, bool *ok = nullptr);

    // The parts both variants share once any unlocking is done.
    QByteArray readRegisterValue(int address);
    void writeRegisterValue(int address, const QByteArray &wireValue, const QByteArray &callerValue);
    void selectLiquid(int index);
    void setFixedOutput(int count);
    void setMeasuringMode(bool on);
    void commit();

    AbstractInterfaceDriver *driver;

private:
    int failedExchanges = 0;
    std::atomic<bool> stopped{false};
    bool closing = false;
};

#endif
