#ifndef ABSTRACTDEVICE_H
#define ABSTRACTDEVICE_H

#include "device/deviceidentity.h"

#include <QObject>
#include <QString>

class AbstractInterfaceDriver;

// What the window, the selection page and the forms see of any sensor.
class AbstractDevice : public QObject
{
    Q_OBJECT
public:
    explicit AbstractDevice(const DeviceIdentity &identity);
    ~AbstractDevice() override = default;

    virtual QString deviceId() const = 0;
    virtual QString serialNumber() const = 0;
    virtual QString firmwareVersion() const = 0;
    virtual QString name() const = 0;
    virtual QString deviceType() const = 0;
    virtual AbstractInterfaceDriver *interfaceDriver() const = 0;

    // Moves the device with its protocol, driver and port to another thread (from the device's
    // own thread): a scan identifies each port on a thread of its own.
    void moveToThreadWithParts(QThread *thread);

public slots:
    virtual bool open() = 0;
    virtual void close() = 0;

signals:
    // A request found no sensor: the port could not be opened (portLost), or an exchange brought
    // no usable reply. The request's own answer is not emitted then, so that nothing unread is
    // ever shown as a reading.
    void CommunicationFailed(QString request, QString message, bool portLost);

protected:
    // The protocol object between the device and its driver.
    virtual QObject *protocolObject() const = 0;
    // Opens the driver; a port that cannot be opened is reported through CommunicationFailed.
    bool openDriver(AbstractInterfaceDriver *driver);
    // Reports an exchange that brought no usable reply.
    void reportNoAnswer(AbstractInterfaceDriver *driver, const QString &request);

    // Name and type from the catalogue; an entry without a name gives the uncatalogued name and no type.
    void setNameAndType(const QString &catalogueName, const QString &catalogueType, const QString &uncataloguedPattern);

    QString m_deviceId;
    QString m_serialNumber;
    QString m_firmwareVersion;
    QString m_name;
    QString m_deviceType;
};

#endif
