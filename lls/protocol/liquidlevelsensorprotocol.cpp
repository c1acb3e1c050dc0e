#include "lls/protocol/liquidlevelsensorprotocol.h"

#include "device/logcategories.h"
#include "device/replytext.h"

#include <QDebug>
#include <QRegularExpression>

LiquidLevelSensorProtocol::LiquidLevelSensorProtocol(AbstractInterfaceDriver *driver)
    : AbstractLLSProtocol(driver)
{
}

QByteArray LiquidLevelSensorProtocol::ReadRegister(int address)
{
    return readRegisterValue(address);
}

void LiquidLevelSensorProtocol::WriteRegister(int address, const QByteArray &value)
{
    writeRegisterValue(address, value, value);
}

void LiquidLevelSensorProtocol::SelectLiquid(int index)
{
    selectLiquid(index);
}

void LiquidLevelSensorProtocol::SetFixedOutput(int count)
{
    setFixedOutput(count);
}

void LiquidLevelSensorProtocol::SetMeasuringMode(bool on)
{
    setMeasuringMode(on);
}

LevelSensorData LiquidLevelSensorProtocol::ReadMeasurement()
{
    static const QRegularExpression pattern(QStringLiteral("^(A\r\n\r\x02" "A,)") + QStringLiteral("(\\w+),").repeated(13));
    const QByteArray reply = exchange("A\r");
    const QRegularExpressionMatch match = pattern.match(replyText(reply));
    // This sensor family reports no output count. A reply that is missing or unreadable is
    // flagged rather than passed on as a reading of zeros.
    LevelSensorData data;
    if (!match.hasMatch()) {
        data.readError = true;
        qCDebug(lcWire) << "Error reading data:" << reply;
        return data;
    }
    auto field = [&match](int capture) { return static_cast<float>(match.captured(capture).toUInt(nullptr, 16)); };
    data.status = field(2);
    data.level = field(3);
    data.internalTemperature = field(7) * 0.125f;
    data.externalTemperature = field(9) * 0.125f;
    return data;
}

void LiquidLevelSensorProtocol::Commit()
{
    commit();
}
