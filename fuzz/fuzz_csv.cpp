// The tank profile editor's CSV import and the table rules applied to what it read.
#include "fuzzsupport.h"
#include "lls/ui/tankprofilecsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const TankProfileCsv::Content content = TankProfileCsv::parse(bytes);
    FUZZ_CHECK(content.rows.size() <= TankProfileCsv::MaxLines + 1);
    TankProfileTable::Rows rows = content.rows;
    rows.append(TankProfileTable::Row{});
    if (TankProfileTable::valid(rows))
        FUZZ_CHECK(rows.size() - 1 <= TankProfileTable::maxPoints());
    return 0;
}
