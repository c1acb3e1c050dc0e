#include "simpositionsensor.h"

#include <QRandomGenerator>
#include <QtGlobal>

namespace {

// Four upper-case hex digits of the value's low 16 bits (two's complement for negatives).
QByteArray hex16(int value)
{
    return QByteArray::number(static_cast<uint>(value) & 0xFFFFu, 16).toUpper().rightJustified(4, '0');
}

}

SimPositionSensor::SimPositionSensor(const QJsonObject &description)
    : SimSensor(description)
{
    m_deviceId = description.value("deviceId").toInt();
    m_firmware = description.value("firmware").toString("1.0");
    m_serial = description.value("serial").toString("000001");
    m_parameters = description.value("parameters").toObject();
    m_motion = description.value("motion").toObject();
    m_clock.start();
}

int SimPositionSensor::parameter(const char *name) const
{
    return m_parameters.value(QLatin1String(name)).toInt();
}

QByteArray SimPositionSensor::listReply(const QByteArray &command, const QVector<Property> &properties) const
{
    QByteArray reply = echoOf(command) + "\r\n";
    int index = 0;
    for (const Property &p : properties)
        reply += QByteArray::number(index++).rightJustified(2, '0') + ',' + hex16(p.value) + ',' + p.name + "\r\n";
    return reply + '>';
}

QVector<SimPositionSensor::Property> SimPositionSensor::measurements() const
{
    const qint64 now = m_clock.elapsed();
    const int from = m_motion.value("from").toInt(-14000);
    const int to = m_motion.value("to").toInt(14000);
    const qint64 period = qMax(2, m_motion.value("periodMs").toInt(6000));
    const qint64 present = qMax(0, m_motion.value("presentMs").toInt(9000));
    const qint64 absent = qMax(0, m_motion.value("absentMs").toInt(2500));

    // A triangle wave: there in half a period, back in the other half.
    const double phase = static_cast<double>(now % period) / period;
    const double along = phase < 0.5 ? phase * 2 : 2 - phase * 2;
    const int raw = from + static_cast<int>((to - from) * along);

    const bool away = absent > 0 && (now % (present + absent)) >= present;
    const int jitter = QRandomGenerator::global()->bounded(-12, 13);
    const int signal = qMax(0, (away ? m_motion.value("weakSignal").toInt(40) : m_motion.value("signal").toInt(1100)) + jitter);

    // The output: ((raw + offset) * scale >> 16) + direct, held inside the output limits; the dropout
    // level while the activator is away.
    int output = parameter("output_noact");
    if (!away) {
        const qint64 scaled = (static_cast<qint64>(raw) + parameter("posn_offset")) * parameter("posn_scale");
        const qint64 shifted = scaled >= 0 ? scaled / 65536 : -((-scaled + 65535) / 65536);
        const qint64 lower = parameter("output_lower");
        const qint64 upper = parameter("output_upper");
        output = static_cast<int>(qBound(qMin(lower, upper), shifted + parameter("output_direct"), qMax(lower, upper)));
    }
    return {{"activator", signal}, {"raw_position", raw}, {"position", output}, {"temperature", 23}};
}

QVector<SimPositionSensor::Property> SimPositionSensor::parameters() const
{
    return {{"posn_offset", parameter("posn_offset")},     {"posn_scale", parameter("posn_scale")},
            {"output_lower", parameter("output_lower")},   {"output_upper", parameter("output_upper")},
            {"output_noact", parameter("output_noact")},   {"activator_min", parameter("activator_min")},
            {"output_direct", parameter("output_direct")}, {"output_mode", 1}};
}

QByteArray SimPositionSensor::answer(const QByteArray &command)
{
    if (command == "ID\r")
        return "ID\r\n" + QByteArray::number(m_deviceId) + ' ' + m_firmware.toLatin1() + ' ' + m_serial.toLatin1() + "\r\n>";
    if (command == "MLIST\r")
        return listReply(command, measurements());
    if (command == "PLIST\r")
        return listReply(command, parameters());
    return {};
}
