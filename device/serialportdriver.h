#ifndef SERIALPORTDRIVER_H
#define SERIALPORTDRIVER_H

#include "device/abstractinterfacedriver.h"

#include <QVector>

class QSerialPort;

class SerialPortDriver : public AbstractInterfaceDriver
{
    Q_OBJECT
public:
    explicit SerialPortDriver(QSerialPort *port);
    ~SerialPortDriver() override;

    // One closed driver per usable port: the system's ports, then PELLORA_EXTRA_PORTS in the given
    // order, less those not there now. Opens nothing: cheap enough to call a few times a second.
    static QVector<AbstractInterfaceDriver *> availableInterfaces();
    // Only the given device paths (a command line's port list, kept even where there is no such
    // device), then PELLORA_EXTRA_PORTS less those not there now.
    static QVector<AbstractInterfaceDriver *> interfacesFor(const QStringList &paths);
    // From now on availableInterfaces() lists only these paths instead of the system's ports.
    static void setPortList(const QStringList &paths);
    // The drivers less any that names a device an earlier one names (deleted).
    static QVector<AbstractInterfaceDriver *> withoutDuplicates(const QVector<AbstractInterfaceDriver *> &drivers);
    // The line settings every sensor port uses (19200 8N1, no flow control).
    static void applyLineSettings(QSerialPort *port);
    static bool isExcludedPortName(const QString &portName);

    bool open() override;
    void close() override;
    bool sendRequest(const QByteArray &request, QByteArray &response) override;
    bool sendRequestWithAttempts(const QByteArray &request, QByteArray &response, int attempts) override;
    QString type() const override;
    QString name() const override;
    bool connectErrorHandler(QObject *receiver) override;
    QString openError() const override;
    PortReport::Outcome openFailure() const override;
    void moveToThreadWithPort(QThread *thread) override;

    static constexpr int WriteTimeoutMs = 500;
    static constexpr int FirstByteTimeoutMs = 500;
    static constexpr int GapTimeoutMs = 50;
    static constexpr int MaxAttempts = 3;
    static constexpr int MaxReplyBytes = 500;
    // From the first reply byte to the prompt. The longest reply the size guard lets through takes
    // about 260 ms at 19200 baud; a reply still growing after this is not a sensor talking.
    static constexpr int ReplyDeadlineMs = 1000;
    // What a request to a sensor that never answers costs: every attempt waits for a first byte.
    static constexpr int SilentRequestMs = MaxAttempts * FirstByteTimeoutMs;

signals:
    void Error(QString errorMSG);

private:
    bool exchange(const QByteArray &request, QByteArray &response, int maxAttempts);
    bool waitForReadyRead(int msecs);
    bool waitForBytesWritten(int msecs);

    QSerialPort *port;
};

#endif
