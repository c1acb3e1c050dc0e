#ifndef NCPSDEVICE_H
#define NCPSDEVICE_H

#include "device/abstractdevice.h"
#include "device/catalogueentry.h"
#include "ncps/ncpsmeasurement.h"
#include "ncps/ncpsparameter.h"

class AbstractNCPSProtocol;

class NCPSDevice : public AbstractDevice
{
    Q_OBJECT
public:
    NCPSDevice(AbstractNCPSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry);
    ~NCPSDevice() override;

    QString deviceId() const override { return m_deviceId; }
    QString serialNumber() const override { return m_serialNumber; }
    QString firmwareVersion() const override { return m_firmwareVersion; }
    QString name() const override { return m_name; }
    QString deviceType() const override { return m_deviceType; }
    AbstractInterfaceDriver *interfaceDriver() const override;

public slots:
    bool open() override;
    void close() override;

private:
    AbstractNCPSProtocol *protocol;
};

#endif
