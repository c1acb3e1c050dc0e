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
    // operation under way ends after its current exchange, or after its group (below). Resume()
    // lets them through again.
    void Stop() { stopped = true; }
    void Resume() { stopped = false; }
    bool IsStopped() const { return stopped; }
    // Whether the next exchange would be refused by a stop (outside a group, not closing).
    bool Blocked() const { return stopped && !closing && groupDepth == 0; }
    // While closing, exchanges go through even after a Stop(): the lock that ends a write must.
    // Each gets one attempt: a dead line costs one wait on the way out.
    void SetClosing(bool on) { closing = on; }
    // From any thread, when the window closes: the requests still queued go on, with two attempts
    // each, and the first that brings no reply counts the sensor as gone, so that a dead line
    // holds the window for a second or two, not for three attempts of every request.
    void Hurry() { hurry = true; }
    // The failures in a row after which a device gives its sensor up; a hurried failure counts as all.
    static constexpr int HurriedLoss = 3;
    // At most this many attempts for each exchange until set back to 0 (the driver's own count):
    // a light check of a sensor costs one wait, not three.
    void SetAttemptLimit(int attempts) { attemptLimit = attempts; }
    // Whether the last exchange brought a reply.
    bool LastAnswered() const { return failedExchanges == 0; }

    // Writes that belong together (a range bit and its counts, a midpoint and its range, a table
    // and its enable bit) go out whole: a Stop() that comes among them takes effect after the
    // last. One that came before the group began stops all of it.
    class Group
    {
    public:
        explicit Group(AbstractLLSProtocol *protocol) : m_protocol(protocol), m_open(!protocol->stopped)
        {
            if (m_open)
                ++m_protocol->groupDepth;
        }
        ~Group()
        {
            if (m_open)
                --m_protocol->groupDepth;
        }
        Group(const Group &) = delete;
        Group &operator=(const Group &) = delete;

    private:
        AbstractLLSProtocol *m_protocol;
        bool m_open;
    };

    virtual QByteArray ReadRegister(int address) = 0;
    virtual void WriteRegister(int address, const QByteArray &value) = 0;
    virtual void SelectLiquid(int index) = 0;
    virtual void SetFixedOutput(int count) = 0;
    virtual void SetMeasuringMode(bool on) = 0;
    virtual LevelSensorData ReadMeasurement() = 0;
    virtual void Commit() = 0;
    // Before the port closes: leaves the sensor as the program found it. The industrial variant
    // locks it again when a write left it unlocked, with one attempt: a dead line costs one wait.
    // False when the sensor may have been left unlocked.
    virtual bool Release() { return true; }

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
    std::atomic<bool> hurry{false};
    bool closing = false;
    int groupDepth = 0;
    int attemptLimit = 0;
};

#endif
