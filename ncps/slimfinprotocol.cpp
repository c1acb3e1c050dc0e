#include "ncps/slimfinprotocol.h"

#include "device/abstractinterfacedriver.h"
#include "device/logcategories.h"
#include "device/replytext.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

// The wire carries 16-bit two's complement fields as four hex digits.
int signExtend16(uint value)
{
    const int low = static_cast<int>(value & 0xFFFFu);
    return low >= 0x8000 ? low - 0x10000 : low;
}

// Four hex digits and nothing else (no "0x" prefix); anything else reads as 0.
uint hexField(const QString &field)
{
    uint value = 0;
    for (const QChar c : field) {
        const ushort u = c.unicode();
        uint digit = 0;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else
            return 0;
        value = value * 16 + digit;
    }
    return value;
}

// Walks the property lines of a list reply (everything between the echo and the prompt) and hands
// each name and value to store, which returns true to stop reading.
template<typename Store>
void parseListReply(const QByteArray &reply, Store store)
{
    static const QRegularExpression linePattern(QStringLiteral("(\\w{2}),(\\w{4}),(\\w+)\r"));
    const QList<QByteArray> pieces = reply.split('\n');
    if (pieces.size() < 3)
        return;
    for (int i = 1; i < pieces.size() - 1; ++i) {
        const QRegularExpressionMatch match = linePattern.match(replyText(pieces.at(i)));
        if (!match.hasMatch())
            continue;
        if (store(match.captured(3), signExtend16(hexField(match.captured(2)))))
            return;
    }
}

}

SlimfinProtocol::SlimfinProtocol(AbstractInterfaceDriver *driver)
    : driver(driver)
{
}

SlimfinProtocol::~SlimfinProtocol()
{
    delete driver;
}

NCPSMeasurement SlimfinProtocol::ReadMeasurement(bool *ok)
{
    NCPSMeasurement measurement;
    QByteArray reply;
    bool positionSeen = false;
    if (ok)
        *ok = false;
    if (!driver->sendRequest(QByteArray("MLIST\r"), reply)) {
        qCDebug(lcWire) << "MLIST failed on" << driver->name();
        return measurement;
    }
    parseListReply(reply, [&measurement, &positionSeen](const QString &name, int value) {
        if (name == QLatin1String("raw_position")) {
            measurement.raw_position = value;
        } else if (name == QLatin1String("activator")) {
            measurement.activator = value;
        } else if (name == QLatin1String("position")) {
            measurement.position = value;
            positionSeen = true;
            return true;  // the sensor lists nothing after it that the program needs
        }
        return false;
    });
    // Without its position the reply says nothing about where the activator is.
    if (ok)
        *ok = positionSeen;
    return measurement;
}

NCPSParameter SlimfinProtocol::ReadParameter(bool *ok)
{
    NCPSParameter parameter;
    QByteArray reply;
    if (ok)
        *ok = false;
    if (!driver->sendRequest(QByteArray("PLIST\r"), reply)) {
        qCDebug(lcWire) << "PLIST failed on" << driver->name();
        return parameter;
    }
    // Bytes without a prompt leave the reply empty: nothing was read.
    if (ok)
        *ok = !reply.isEmpty();
    parseListReply(reply, [&parameter](const QString &name, int value) {
        if (name == QLatin1String("posn_offset"))
            parameter.posn_offset = value;
        else if (name == QLatin1String("posn_scale"))
            parameter.posn_scale = value;
        else if (name == QLatin1String("activator_min"))
            parameter.activator_min = value;
        else if (name == QLatin1String("output_lower"))
            parameter.output_lower = value;
        else if (name == QLatin1String("output_upper"))
            parameter.output_upper = value;
        else if (name == QLatin1String("output_noact"))
            parameter.output_noact = value;
        else if (name == QLatin1String("output_direct"))
            parameter.output_direct = value;
        return false;
    });
    return parameter;
}
