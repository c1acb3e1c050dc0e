#include "ncps/ncpsdevice.h"

#include "device/abstractinterfacedriver.h"
#include "ncps/abstractncpsprotocol.h"

#include <cstdint>

namespace {

// Two's complement wrap of a 64-bit intermediate to 32 bits, spelt out so that it is defined
// behaviour whatever the value.
int wrapTo32(std::int64_t value)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(static_cast<std::uint64_t>(value));
    if (bits <= static_cast<std::uint32_t>(INT32_MAX))
        return static_cast<int>(bits);
    return -static_cast<int>(~bits) - 1;
}

}

NCPSDevice::NCPSDevice(AbstractNCPSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry)
    : AbstractDevice(identity)
    , protocol(protocol)
{
    setNameAndType(entry.Name, entry.DeviceType, QStringLiteral("Uncatalogued NCPS Device [%1]"));
    registerMetaTypes();
}

void NCPSDevice::registerMetaTypes()
{
    qRegisterMetaType<NCPSParameter>("NCPSParameter");
    qRegisterMetaType<NCPSMeasurement>("NCPSMeasurement");
}

NCPSDevice::~NCPSDevice()
{
    delete protocol;
}

QObject *NCPSDevice::protocolObject() const
{
    return protocol;
}

AbstractInterfaceDriver *NCPSDevice::interfaceDriver() const
{
    return protocol->interfaceDriver();
}

bool NCPSDevice::open()
{
    return openDriver(protocol->interfaceDriver());
}

void NCPSDevice::close()
{
    protocol->interfaceDriver()->close();
}

void NCPSDevice::ReadParameter()
{
    bool ok = false;
    const NCPSParameter parameter = protocol->ReadParameter(&ok);
    if (!ok) {
        reportNoAnswer(protocol->interfaceDriver(), QStringLiteral("PLIST"));
        return;
    }
    m_parameters = parameter;
    emit ParameterUpdate(parameter);
}

void NCPSDevice::ReadMeasurement()
{
    bool ok = false;
    const NCPSMeasurement measurement = protocol->ReadMeasurement(&ok);
    if (!ok) {
        reportNoAnswer(protocol->interfaceDriver(), QStringLiteral("MLIST"));
        return;
    }
    emit MeasurementUpdate(measurement);
}

double NCPSDevice::countsToVolts(int count, bool clamp) const
{
    const double counts = static_cast<double>(count - m_countsMinimum) / (m_countsMaximum - m_countsMinimum);
    double volts = counts * (static_cast<double>(m_voltsMaximum) - m_voltsMinimum) + m_voltsMinimum;
    if (clamp)
        volts = qBound(static_cast<double>(m_voltsMinimum), volts, static_cast<double>(m_voltsMaximum));
    return volts;
}

// The sensor's output is ((raw + posn_offset) * posn_scale >> 16) + output_direct; this runs it
// backwards as ((count - output_direct) << 16) / posn_scale - posn_offset in 32 bits. The sums are
// done in 64 bits and wrapped to 32 after the shift and at the end, which gives the 32-bit results
// wherever 32-bit arithmetic is defined and a wrapped, defined answer where it is not (shifting a
// negative value, INT_MIN / -1).
int NCPSDevice::rawPositionOfOutput(int count) const
{
    const NCPSParameter &p = m_parameters;
    // Equal values are what the all-zero parameters before the first read look like. A zero scale
    // maps every position to one output, so no position belongs to a limit either; both put the
    // marker in the middle of the range rather than anywhere arbitrary.
    if (p.posn_scale == p.posn_offset || p.posn_scale == 0)
        return 0;
    const std::int64_t shifted = wrapTo32((static_cast<std::int64_t>(count) - p.output_direct) * 65536);
    const std::int64_t quotient = shifted / p.posn_scale;  // truncates toward zero, as 32-bit division does
    return wrapTo32(quotient - p.posn_offset);
}
