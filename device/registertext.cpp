#include "device/registertext.h"

#include "device/logcategories.h"

#include <QDebug>
#include <QString>

#include <cctype>

namespace RegisterText {

bool isPrintable(const QByteArray &hexValue, bool rejectAllSpaces)
{
    if (hexValue.isEmpty())
        return false;
    if (hexValue.size() != 8) {
        qCDebug(lcWire).noquote() << QStringLiteral("AbstractLLSProtocol::IsAlphaNumQByte: arg \"qByte\"= ")
                + QString::fromLatin1(hexValue) + QStringLiteral(" doesn't have the correct size!");
        return false;
    }
    for (char c : hexValue)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    const QByteArray bytes = QByteArray::fromHex(hexValue);
    int spaces = 0;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0x20)
            ++spaces;
        else if (byte < 0x21 || byte > 0x7E)
            return false;
    }
    if (spaces == bytes.size())
        return !rejectAllSpaces;
    return true;
}

}
