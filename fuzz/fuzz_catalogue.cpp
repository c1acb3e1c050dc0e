// The catalogue's checks and its reading, and a lookup in what was read.
#include "device/devicecatalogue.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = scratchFile(data, size);
    const QString failure = DeviceCatalogue::failure(path);
    FUZZ_CHECK(size < 2000 || !failure.isEmpty());
    if (!failure.isEmpty())
        return 0;
    DeviceCatalogue catalogue;
    catalogue.readEntries(path);
    CatalogueEntry entry;
    catalogue.lookup(entry, DeviceIdentity{"4301", "5", "0"});
    return 0;
}
