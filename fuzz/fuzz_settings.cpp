// The settings file: its checksum check, its reading, and the requests it would become for each
// kind of sensor.
#include "files/settingsfile.h"
#include "fuzzsupport.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    SettingsFile::checkText(text);
    const QString path = scratchFile(data, size);
    SettingsFile::check(path);
    const SettingsFile::Values values = SettingsFile::read(path);
    for (const char *output : {"mA", "resistive"}) {
        QString error;
        const auto requests = SettingsFile::plan(values, {QStringLiteral("Murkwell"), QLatin1String(output), true, true}, &error);
        for (const SettingsFile::Request &r : requests) {
            // Nothing made up reaches a sensor: every number is a finite one the file gave.
            FUZZ_CHECK(std::isfinite(r.values.value1) && std::isfinite(r.values.value2) && std::isfinite(r.values.value3));
            FUZZ_CHECK(r.values.profileLevels.size() <= 128 && r.values.profileLevels.size() == r.values.profileOutputs.size());
        }
    }
    return 0;
}
