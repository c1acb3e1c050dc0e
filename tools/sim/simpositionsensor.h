#ifndef SIMPOSITIONSENSOR_H
#define SIMPOSITIONSENSOR_H

#include "simsensor.h"

#include <QElapsedTimer>
#include <QVector>

// A position sensor: identity reply in the position sensor form, and the two list commands with an
// activator that travels to and fro along the body and is taken away now and then.
//
// Description fields besides the identity ("deviceId", "firmware", "serial"):
//   "parameters": {"posn_offset", "posn_scale", "output_lower", "output_upper", "output_noact",
//                  "activator_min", "output_direct"}   16-bit values, as numbers
//   "motion": {"from", "to"             raw positions the activator travels between
//              "periodMs"               one trip there and back
//              "presentMs", "absentMs"  how long the activator stays, then how long it is away
//              "signal", "weakSignal"}  activator signal while present and while away
class SimPositionSensor : public SimSensor
{
public:
    explicit SimPositionSensor(const QJsonObject &description);
    QByteArray answer(const QByteArray &command) override;

private:
    struct Property
    {
        QByteArray name;
        int value;
    };
    QByteArray listReply(const QByteArray &command, const QVector<Property> &properties) const;
    QVector<Property> measurements() const;
    QVector<Property> parameters() const;
    int parameter(const char *name) const;

    int m_deviceId = 0;
    QString m_firmware;
    QString m_serial;
    QJsonObject m_parameters;
    QJsonObject m_motion;
    QElapsedTimer m_clock;
};

#endif
