#include "simlevelsensor.h"

SimLevelSensor::SimLevelSensor(const QJsonObject &description)
    : SimSensor(description)
{
    m_deviceId = static_cast<quint32>(description.value("deviceId").toInt());
    m_firmware = static_cast<quint32>(description.value("firmware").toInt());
}

QByteArray SimLevelSensor::frame(const QByteArray &command, const QByteArray &payload) const
{
    return echoOf(command) + "\r\n\r\x02" + payload + "\r\n>";
}

QByteArray SimLevelSensor::answer(const QByteArray &command)
{
    if (command == "ID\r") {
        const QByteArray payload = "I," + QByteArray::number(m_deviceId, 16).toUpper().rightJustified(4, '0') + ","
            + QByteArray::number(m_firmware, 16).toUpper().rightJustified(4, '0') + ",0000,";
        return frame(command, payload);
    }
    return {};
}
