#include "simpositionsensor.h"

SimPositionSensor::SimPositionSensor(const QJsonObject &description)
    : SimSensor(description)
{
    m_deviceId = description.value("deviceId").toInt();
    m_firmware = description.value("firmware").toString("1.0");
    m_serial = description.value("serial").toString("000001");
}

QByteArray SimPositionSensor::answer(const QByteArray &command)
{
    if (command == "ID\r")
        return "ID\r\n" + QByteArray::number(m_deviceId) + ' ' + m_firmware.toLatin1() + ' ' + m_serial.toLatin1() + "\r\n>";
    return {};
}
