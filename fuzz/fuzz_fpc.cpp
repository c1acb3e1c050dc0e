// The FPC import: the parser, and a device importing the file through a protocol that records
// the registers it would write. Every write must be one the export makes.
#include "files/fpcfile.h"
#include "fuzzsupport.h"
#include "device/catalogueentry.h"
#include "lls/device/llsdevice.h"
#include "lls/protocol/abstractllsprotocol.h"

#include <QSet>

namespace {

const QSet<int> &allowed()
{
    static const QSet<int> set = [] {
        QSet<int> s;
        for (int r : FpcFile::exportedRegisters())
            s.insert(r);
        return s;
    }();
    return set;
}

// Answers reads with what was written; checks every write.
class RecordingProtocol : public AbstractLLSProtocol
{
public:
    RecordingProtocol() : AbstractLLSProtocol(new ReplyDriver(QByteArray())) {}
    QByteArray ReadRegister(int address) override { return FpcFile::hex8(registers.value(address)); }
    void WriteRegister(int address, const QByteArray &value) override
    {
        FUZZ_CHECK(allowed().contains(address));
        bool ok = false;
        const quint32 number = value.toUInt(&ok, 16);
        FUZZ_CHECK(ok && !value.isEmpty() && value.size() <= 8);
        registers.insert(address, number);
    }
    void SelectLiquid(int) override {}
    void SetFixedOutput(int) override {}
    void SetMeasuringMode(bool) override {}
    LevelSensorData ReadMeasurement() override { return {}; }
    void Commit() override {}
    QHash<int, quint32> registers;
};

}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const FpcFile::Import import = FpcFile::parse(text);
    for (const FpcFile::RegisterWrite &write : import.writes)
        FUZZ_CHECK(allowed().contains(write.address) && write.value.size() <= 8);

    auto *protocol = new RecordingProtocol;
    LLSDevice device(protocol, DeviceIdentity{"1", "1", "0"}, CatalogueEntry{"1", "", "Fuzz", "Murkwell", "", ""});
    device.ImportFPC(scratchFile(data, size));
    // What the device wrote, it reads back as written: no difference may be reported.
    FUZZ_CHECK(size > static_cast<size_t>(FpcFile::MaxBytes) - 1 || device.FileReport().isEmpty());
    return 0;
}
