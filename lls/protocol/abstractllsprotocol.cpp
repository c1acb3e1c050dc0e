#include "lls/protocol/abstractllsprotocol.h"

#include "device/abstractinterfacedriver.h"
#include "device/logcategories.h"
#include "device/registertext.h"
#include "device/replytext.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A register holds 32 bits: one to eight hex digits and nothing else may reach the wire, so that a
// value can never carry a second command or spill into the next register.
bool isRegisterValue(const QByteArray &value)
{
    if (value.isEmpty() || value.size() > 8)
        return false;
    for (char c : value)
        if (!isHexDigit(c))
            return false;
    return true;
}

}

AbstractLLSProtocol::AbstractLLSProtocol(AbstractInterfaceDriver *driver)
    : QObject(nullptr)
    , driver(driver)
{
}

AbstractLLSProtocol::~AbstractLLSProtocol()
{
    delete driver;
}

bool AbstractLLSProtocol::IsAlphaNumQByte(const QByteArray &hexValue, bool rejectAllSpaces)
{
    return RegisterText::isPrintable(hexValue, rejectAllSpaces);
}

QByteArray AbstractLLSProtocol::hexArgument(int number)
{
    return QByteArray::number(number, 16).toUpper();
}

QByteArray AbstractLLSProtocol::exchange(const QByteArray &command, bool *ok)
{
    // A stopped exchange is no sign of a lost sensor: it leaves the count as it was. In a hurry,
    // a sensor already given up gets nothing more but the last commands of closing.
    if (Blocked() || (hurry && !closing && failedExchanges >= HurriedLoss)) {
        if (ok)
            *ok = false;
        return {};
    }
    QByteArray response;
    // In a hurry, a line that has just failed gets one more attempt, not two.
    const int attempts = closing ? 1 : attemptLimit > 0 ? attemptLimit : hurry ? (failedExchanges > 0 ? 1 : 2) : 0;
    const bool sent = driver
        && (attempts > 0 ? driver->sendRequestWithAttempts(command, response, attempts) : driver->sendRequest(command, response));
    if (ok)
        *ok = sent;
    // Bytes that never ended in a prompt are no reply either.
    const bool answered = sent && !response.isEmpty();
    failedExchanges = answered ? 0 : hurry ? qMax(failedExchanges + 1, HurriedLoss) : failedExchanges + 1;
    return sent ? response : QByteArray();
}

QByteArray AbstractLLSProtocol::readRegisterValue(int address)
{
    static const QRegularExpression pattern(QStringLiteral(".+?,(\\w{8}),"));
    bool ok = false;
    const QByteArray reply = exchange("G " + hexArgument(address) + "\r", &ok);
    if (!ok)
        return {};
    const QRegularExpressionMatch match = pattern.match(replyText(reply));
    if (!match.hasMatch())
        return {};
    return match.captured(1).toLatin1();
}

void AbstractLLSProtocol::writeRegisterValue(int address, const QByteArray &wireValue, const QByteArray &callerValue)
{
    if (!isRegisterValue(wireValue)) {
        qCDebug(lcWire).noquote() << QStringLiteral("Refusing to write (%1) at: %2: not a register value")
                                  .arg(QString::fromUtf8(callerValue))
                                  .arg(address);
        return;
    }
    static const QRegularExpression pattern(QStringLiteral(".*?[S,.*]"));
    bool ok = false;
    const QByteArray reply = exchange("S " + hexArgument(address) + " " + wireValue + "\r", &ok);
    if (ok && !pattern.match(replyText(reply)).hasMatch())
        qCDebug(lcWire).noquote() << "Error sending (" + QString::fromUtf8(callerValue) + ") at: " + QString::number(address);
}

void AbstractLLSProtocol::selectLiquid(int index)
{
    // The wire counts liquids from 1.
    if (static_cast<unsigned>(index) > 19u)
        return;
    exchange("B " + hexArgument(index + 1) + "\r");
}

void AbstractLLSProtocol::setFixedOutput(int count)
{
    // 1023 is the top for 12-bit converters as well.
    if (static_cast<unsigned>(count) > 1023u)
        return;
    exchange("F " + hexArgument(count) + "\r");
}

void AbstractLLSProtocol::setMeasuringMode(bool on)
{
    exchange(on ? QByteArray("M 0\r") : QByteArray("M 1\r"));
}

void AbstractLLSProtocol::commit()
{
    exchange("Z 0\r");
}
