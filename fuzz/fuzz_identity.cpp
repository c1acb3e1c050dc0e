// Both identity parsers on any answer to "ID\r".
#include "device/deviceidentification.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), static_cast<int>(size));
    DeviceIdentity level;
    parseLevelSensorId(level, reply);
    DeviceIdentity position;
    parsePositionSensorId(position, reply);
    return 0;
}
