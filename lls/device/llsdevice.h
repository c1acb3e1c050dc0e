#ifndef LLSDEVICE_H
#define LLSDEVICE_H

#include "device/abstractdevice.h"
#include "device/catalogueentry.h"

class AbstractLLSProtocol;

class LLSDevice : public AbstractDevice
{
    Q_OBJECT
public:
    LLSDevice(AbstractLLSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry);
    ~LLSDevice() override;

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
    AbstractLLSProtocol *protocol;
};

#endif
