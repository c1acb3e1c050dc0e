#include "device/deviceidentification.h"

#include "device/abstractinterfacedriver.h"
#include "device/devicecatalogue.h"
#include "device/logcategories.h"
#include "device/replytext.h"
#include "lls/device/llsdevice.h"
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "ncps/ncpsdevice.h"
#include "ncps/slimfinprotocol.h"

#include <QDebug>
#include <QRegularExpression>

namespace {
QString hexFieldAsDecimal(const QString &field)
{
    bool ok = false;
    const uint value = field.toUInt(&ok, 16);
    return QString::number(ok ? value : 0u, 10);
}
}

bool parseLevelSensorId(DeviceIdentity &identity, const QByteArray &response)
{
    static const QRegularExpression pattern(QStringLiteral("^(ID\r\n\r\x02" "I,)(\\w+),(\\w+),"));
    const QRegularExpressionMatch match = pattern.match(replyText(response));
    identity.deviceId = hexFieldAsDecimal(match.captured(2));
    identity.firmwareVersion = hexFieldAsDecimal(match.captured(3));
    identity.serialNumber = QStringLiteral("000000");
    return match.hasMatch();
}

bool parsePositionSensorId(DeviceIdentity &identity, const QByteArray &response)
{
    static const QRegularExpression pattern(QStringLiteral("^(ID\r\n)(\\d+) (\\d+\\.\\d+) (\\d+)"));
    const QRegularExpressionMatch match = pattern.match(replyText(response));
    identity.deviceId = match.captured(2);
    identity.firmwareVersion = match.captured(3);
    identity.serialNumber = match.captured(4);
    return match.hasMatch();
}

AbstractDevice *createDevice(AbstractInterfaceDriver *driver, bool requestResult, const QByteArray &response,
                             const DeviceCatalogue &catalogue, PortReport *report)
{
    PortReport ignored;
    PortReport &r = report ? *report : ignored;
    r.outcome = PortReport::NoAnswer;
    if (!requestResult)
        return nullptr;

    DeviceIdentity identity;
    CatalogueEntry entry;
    auto notCatalogued = [&r, &identity]() -> AbstractDevice * {
        r.outcome = PortReport::NotInCatalogue;
        r.detail = QStringLiteral("ID %1, firmware %2").arg(identity.deviceId, identity.firmwareVersion);
        return nullptr;
    };
    AbstractDevice *device = nullptr;
    if (response.contains("I,")) {
        r.outcome = PortReport::NotASensor;
        if (!parseLevelSensorId(identity, response))
            return nullptr;
        if (!catalogue.lookup(entry, identity))
            return notCatalogued();
        AbstractLLSProtocol *protocol = nullptr;
        if (entry.DeviceType == QLatin1String("ILS") || entry.DeviceType == QLatin1String("Murkwell"))
            protocol = new IndustrialLevelSensorProtocol(driver);
        else if (entry.DeviceType == QLatin1String("LLS"))
            protocol = new LiquidLevelSensorProtocol(driver);
        else
            return notCatalogued();
        device = new LLSDevice(protocol, identity, entry);
    } else if (parsePositionSensorId(identity, response)) {
        if (!catalogue.lookup(entry, identity))
            return notCatalogued();
        device = new NCPSDevice(new SlimfinProtocol(driver), identity, entry);
    } else {
        r.outcome = PortReport::NotASensor;
        if (response.isEmpty()) {
            // Bytes without a prompt: possibly a sensor waiting in its bootloader.
            QByteArray bootResponse;
            if (driver->sendRequest(QByteArray("U\x05", 2), bootResponse) && bootResponse.contains('*')) {
                qCDebug(lcDevice) << "Bootloader (CreateBootLoaderProtocol): " << bootResponse;
                r.outcome = PortReport::Bootloader;
            }
        }
        return nullptr;
    }
    r.outcome = PortReport::Sensor;
    r.detail = device->name();
    return device;
}
