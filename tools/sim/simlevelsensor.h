#ifndef SIMLEVELSENSOR_H
#define SIMLEVELSENSOR_H

#include "simsensor.h"

// A liquid level sensor ("LLS", "ILS", "Murkwell" families): identity reply in the level sensor form.
class SimLevelSensor : public SimSensor
{
public:
    explicit SimLevelSensor(const QJsonObject &description);
    QByteArray answer(const QByteArray &command) override;

private:
    QByteArray frame(const QByteArray &command, const QByteArray &payload) const;

    quint32 m_deviceId = 0;
    quint32 m_firmware = 0;
};

#endif
