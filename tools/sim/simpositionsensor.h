#ifndef SIMPOSITIONSENSOR_H
#define SIMPOSITIONSENSOR_H

#include "simsensor.h"

// A position sensor: identity reply in the position sensor form.
class SimPositionSensor : public SimSensor
{
public:
    explicit SimPositionSensor(const QJsonObject &description);
    QByteArray answer(const QByteArray &command) override;

private:
    int m_deviceId = 0;
    QString m_firmware;
    QString m_serial;
};

#endif
