#include "lls/protocol/industriallevelsensorprotocol.h"

#include "device/logcategories.h"
#include "device/replytext.h"

#include <QDebug>
#include <QRegularExpression>

namespace {
// The same code for every sensor of these families.
const char UnlockCommand[] = "U 3C7E\r";
const char LockCommand[] = "U 0\r";
}

IndustrialLevelSensorProtocol::IndustrialLevelSensorProtocol(AbstractInterfaceDriver *driver)
    : AbstractLLSProtocol(driver)
{
}

// The flag follows what was sent, not what the sensor answered: a lost command is noticed only
// through the failure of the next one.
void IndustrialLevelSensorProtocol::unlock()
{
    if (!locked && !uncertain)
        return;
    bool answered = false;
    exchange(UnlockCommand, &answered);
    locked = false;
    // Unanswered, it may or may not have reached the sensor: both are tried again when needed.
    uncertain = !(answered && LastAnswered());
}

void IndustrialLevelSensorProtocol::lock()
{
    if (locked && !uncertain)
        return;
    bool answered = false;
    exchange(LockCommand, &answered);
    locked = true;
    uncertain = !(answered && LastAnswered());
}

bool IndustrialLevelSensorProtocol::Release()
{
    if (locked && !uncertain)
        return true;
    bool answered = false;
    exchange(LockCommand, &answered);
    // Unlike a lock on the way to a measurement, an unanswered one leaves the sensor's state
    // unknown: the next command unlocks it first, and the next close locks it again.
    locked = true;
    uncertain = !(answered && LastAnswered());
    return !uncertain;
}

QByteArray IndustrialLevelSensorProtocol::ReadRegister(int address)
{
    unlock();
    return readRegisterValue(address);
}

void IndustrialLevelSensorProtocol::WriteRegister(int address, const QByteArray &value)
{
    unlock();
    writeRegisterValue(address, value.toUpper(), value);
}

void IndustrialLevelSensorProtocol::SelectLiquid(int index)
{
    // Accepted locked or not.
    selectLiquid(index);
}

void IndustrialLevelSensorProtocol::SetFixedOutput(int count)
{
    unlock();
    setFixedOutput(count);
}

void IndustrialLevelSensorProtocol::SetMeasuringMode(bool on)
{
    unlock();
    setMeasuringMode(on);
}

LevelSensorData IndustrialLevelSensorProtocol::ReadMeasurement()
{
    static const QRegularExpression pattern(QStringLiteral("^(A\r\n\r\x02" "A,)(\\w+),(\\w+),(\\w+),(\\w+),"));
    lock();
    const QByteArray reply = exchange("A\r");
    const QRegularExpressionMatch match = pattern.match(replyText(reply));
    LevelSensorData data;
    if (!match.hasMatch()) {
        data.readError = true;
        qCDebug(lcWire) << "Error reading data:" << reply;
        return data;
    }
    auto field = [&match](int capture) { return static_cast<float>(match.captured(capture).toUInt(nullptr, 16)); };
    data.status = field(2);
    data.level = field(3);
    data.output = field(4);
    data.internalTemperature = field(5) * 0.125f;
    return data;
}

void IndustrialLevelSensorProtocol::Commit()
{
    unlock();
    commit();
}
