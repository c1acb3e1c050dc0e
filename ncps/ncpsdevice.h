#ifndef NCPSDEVICE_H
#define NCPSDEVICE_H

#include "device/abstractdevice.h"
#include "device/catalogueentry.h"
#include "ncps/ncpsmeasurement.h"
#include "ncps/ncpsparameter.h"

class AbstractNCPSProtocol;

// One position sensor. Lives on the worker thread; the form reaches it through queued signals and
// reads only the constant ranges and the two conversions below directly.
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

    int rawMinimum() const { return m_rawMinimum; }
    int rawMaximum() const { return m_rawMaximum; }
    float voltsMinimum() const { return m_voltsMinimum; }
    float voltsMaximum() const { return m_voltsMaximum; }
    int countsMinimum() const { return m_countsMinimum; }
    int countsMaximum() const { return m_countsMaximum; }

    // Output counts to volts over the sensor's output range; clamp keeps the result inside it.
    double countsToVolts(int count, bool clamp) const;
    // The raw position at which the sensor's scaling gives the output count, from the parameters
    // of the last ReadParameter. 0 while the scaling cannot be inverted (see the definition).
    int rawPositionOfOutput(int count) const;

    // The two records cross threads by value in queued signals; safe to call more than once.
    static void registerMetaTypes();

    // The parameters of the last ReadParameter (all 0 before the first).
    NCPSParameter parameters() const { return m_parameters; }

public slots:
    bool open() override;
    void close() override;
    void ReadParameter();
    void ReadMeasurement();

signals:
    void ParameterUpdate(NCPSParameter a_NCPSParameter);
    void MeasurementUpdate(NCPSMeasurement a_NCPSMeasurement);

protected:
    QObject *protocolObject() const override;

private:
    AbstractNCPSProtocol *protocol;
    NCPSParameter m_parameters;
    int m_rawMinimum = -15800;
    int m_rawMaximum = 15800;
    float m_voltsMinimum = 0.0f;
    float m_voltsMaximum = 4.568f;
    int m_countsMinimum = 0;
    int m_countsMaximum = 4095;
};

#endif
