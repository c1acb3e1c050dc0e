// The reply parsers: register reads, both measurement forms, both list replies, and a whole
// level sensor load whose every reply is the input.
#include "fuzzsupport.h"
#include "device/catalogueentry.h"
#include "lls/device/llsdevice.h"
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "ncps/slimfinprotocol.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), static_cast<int>(size));
    LiquidLevelSensorProtocol plain(new ReplyDriver(reply));
    const QByteArray value = plain.ReadRegister(19);
    FUZZ_CHECK(value.isEmpty() || value.size() == 8);
    plain.ReadMeasurement();
    IndustrialLevelSensorProtocol industrial(new ReplyDriver(reply));
    industrial.ReadMeasurement();
    SlimfinProtocol position(new ReplyDriver(reply));
    position.ReadMeasurement();
    position.ReadParameter();

    // A load parses registers as numbers, names, features and the tank profile.
    const QString type = size % 2 ? QStringLiteral("Murkwell") : QStringLiteral("ILS");
    LLSDevice device(new IndustrialLevelSensorProtocol(new ReplyDriver(reply)), DeviceIdentity{"1", "1", "0"},
                     CatalogueEntry{"1", "", "Fuzz", type, "tankProfile", ""});
    device.ReadParameter();
    FUZZ_CHECK(device.LiquidNames().size() <= 20);
    FUZZ_CHECK(device.TankProfileLevels().size() <= 128);
    FUZZ_CHECK(device.NmeaLiquidType() >= 0);
    FUZZ_CHECK(std::isfinite(device.OutputRangeMaxValue()));
    return 0;
}
