// The position sensor device: naming, the two reads with their signals, and the output arithmetic.
#include "ncps/ncpsdevice.h"
#include "ncps/slimfinprotocol.h"
#include "scripteddriver.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>

namespace {

QByteArray parameterReply(int offset, int scale, int lower, int upper, int noact, int activatorMin, int direct)
{
    auto field = [](int v) { return QByteArray::number(static_cast<quint16>(v), 16).rightJustified(4, '0'); };
    return "PLIST\r\n"
           "P0," + field(offset) + ",posn_offset\r\n"
           "P1," + field(scale) + ",posn_scale\r\n"
           "P2," + field(lower) + ",output_lower\r\n"
           "P3," + field(upper) + ",output_upper\r\n"
           "P4," + field(noact) + ",output_noact\r\n"
           "P5," + field(activatorMin) + ",activator_min\r\n"
           "P6," + field(direct) + ",output_direct\r\n>";
}

// A device whose next ReadParameter reads the given 16-bit values.
struct Fixture
{
    Fixture()
    {
        driver = new ScriptedDriver;
        device = new NCPSDevice(new SlimfinProtocol(driver), DeviceIdentity{"123", "1.4", "456789"},
                                CatalogueEntry{"123", "", "Slimfin Position Sensor", "Slimfin", "", ""});
    }
    ~Fixture() { delete device; }
    void load(int offset, int scale, int lower, int upper, int noact, int activatorMin, int direct)
    {
        driver->setReply("PLIST\r", parameterReply(offset, scale, lower, upper, noact, activatorMin, direct));
        device->ReadParameter();
    }
    ScriptedDriver *driver;
    NCPSDevice *device;
};

}

class TestNCPSDevice : public QObject
{
    Q_OBJECT

private slots:
    void identityAndNaming();
    void readsEmitAndOnlyParametersAreStored();
    void countsToVolts();
    void rawPositionOfOutput();
    void rawPositionWithoutUndefinedArithmetic();
    void rawPositionAgreesWith32BitWhereDefined();
};

void TestNCPSDevice::identityAndNaming()
{
    bool driverGone = false;
    {
        Fixture f;
        f.driver->destroyedFlag = &driverGone;
        QCOMPARE(f.device->name(), QString("Slimfin Position Sensor"));
        QCOMPARE(f.device->deviceType(), QString("Slimfin"));
        QCOMPARE(f.device->interfaceDriver(), f.driver);
        QVERIFY(f.device->open());
        QVERIFY(f.driver->isOpen);
        f.device->close();
        QCOMPARE(f.driver->closeCount, 1);
    }
    QVERIFY2(driverGone, "the device deletes its protocol, which deletes the driver");

    NCPSDevice uncatalogued(new SlimfinProtocol(new ScriptedDriver), DeviceIdentity{"1234", "1.0", "1"},
                            CatalogueEntry{"1234", "", "", "Slimfin", "", ""});
    QCOMPARE(uncatalogued.name(), QString("Uncatalogued NCPS Device [1234]"));
    QCOMPARE(uncatalogued.deviceType(), QString());
}

void TestNCPSDevice::readsEmitAndOnlyParametersAreStored()
{
    Fixture f;
    QSignalSpy parameters(f.device, &NCPSDevice::ParameterUpdate);
    QSignalSpy measurements(f.device, &NCPSDevice::MeasurementUpdate);

    f.load(150, 9011, 400, 3700, -1, 256, 2048);
    QCOMPARE(parameters.count(), 1);
    const auto p = parameters.at(0).at(0).value<NCPSParameter>();
    QCOMPARE(p.posn_scale, 9011);
    QCOMPARE(p.output_noact, -1);
    QCOMPARE(f.device->parameters().output_direct, 2048);

    f.driver->setReply("MLIST\r", "MLIST\r\nM1,0400,activator\r\nM2,FC18,raw_position\r\nM3,07FA,position\r\n>");
    f.device->ReadMeasurement();
    QCOMPARE(measurements.count(), 1);
    const auto m = measurements.at(0).at(0).value<NCPSMeasurement>();
    QCOMPARE(m.activator, 1024);
    QCOMPARE(m.raw_position, -1000);
    QCOMPARE(m.position, 2042);

    // A failed read is passed on as zeros and replaces the stored parameters.
    f.driver->responder = [](const QByteArray &, QByteArray &) { return false; };
    f.device->ReadParameter();
    QCOMPARE(parameters.count(), 2);
    QCOMPARE(parameters.at(1).at(0).value<NCPSParameter>().posn_scale, 0);
    QCOMPARE(f.device->parameters().output_direct, 0);
}

void TestNCPSDevice::countsToVolts()
{
    Fixture f;
    NCPSDevice *d = f.device;
    QCOMPARE(d->countsMinimum(), 0);
    QCOMPARE(d->countsMaximum(), 4095);
    QCOMPARE(d->rawMinimum(), -15800);
    QCOMPARE(d->rawMaximum(), 15800);
    QCOMPARE(d->voltsMinimum(), 0.0f);
    QCOMPARE(d->voltsMaximum(), 4.568f);

    QVERIFY(qAbs(d->countsToVolts(4095, false) - 4.568) < 1e-6);
    QVERIFY(qAbs(d->countsToVolts(2048, true) - 2.2846) < 1e-4);
    QCOMPARE(QString::number(d->countsToVolts(2042, true), 'f', 2), QString("2.28"));
    QCOMPARE(d->countsToVolts(0, true), 0.0);
    // Beyond the range: limited with clamping, extrapolated without.
    QCOMPARE(d->countsToVolts(5000, true), static_cast<double>(d->voltsMaximum()));
    QVERIFY(qAbs(d->countsToVolts(5000, false) - 5.5775) < 1e-4);
    QCOMPARE(d->countsToVolts(-100, true), 0.0);
    QVERIFY(qAbs(d->countsToVolts(-100, false) + 0.11155) < 1e-4);
}

void TestNCPSDevice::rawPositionOfOutput()
{
    Fixture f;
    // Before the first read the parameters are all zero, scale equal to offset.
    QCOMPARE(f.device->rawPositionOfOutput(400), 0);
    f.load(150, 9011, 400, 3700, 0, 256, 2048);
    QCOMPARE(f.device->rawPositionOfOutput(400), -12135);
    QCOMPARE(f.device->rawPositionOfOutput(3700), 11864);
    QCOMPARE(f.device->rawPositionOfOutput(2048), -150);
    // A falling output (negative scale) puts the lower limit on the right.
    f.load(150, -9011, 400, 3700, 0, 256, 2048);
    QCOMPARE(f.device->rawPositionOfOutput(400), 11835);

    f.load(77, 77, 400, 3700, 0, 256, 0);
    QCOMPARE(f.device->rawPositionOfOutput(400), 0);
    QCOMPARE(f.device->rawPositionOfOutput(3700), 0);
    // A zero scale with another offset cannot be inverted: the middle, not a fault.
    f.load(150, 0, 400, 3700, 0, 256, 2048);
    QCOMPARE(f.device->rawPositionOfOutput(400), 0);
    f.load(-32768, 0, -32768, 32767, 0, 0, 32767);
    QCOMPARE(f.device->rawPositionOfOutput(-32768), 0);
}

void TestNCPSDevice::rawPositionWithoutUndefinedArithmetic()
{
    Fixture f;
    // 0x8000 << 16 is INT_MIN; dividing it by 0xFFFF (-1) traps in 32-bit arithmetic. The true
    // quotient 2^31 wraps back to INT_MIN.
    f.load(0, -1, -32768, 0, 0, 0, 0);
    QCOMPARE(f.device->rawPositionOfOutput(-32768), INT_MIN);
    f.load(1, -1, -32768, 0, 0, 0, 0);
    QCOMPARE(f.device->rawPositionOfOutput(-32768), INT_MAX);
    // A difference above 32767 shifts into the sign bit: the wrapped 32-bit value is kept.
    f.load(0, 1, 0, 0, 0, 0, -7233);
    QCOMPARE(f.device->rawPositionOfOutput(32767), -1673527296);
    // The final subtraction overflows too: INT_MIN - 2 wraps to INT_MAX - 1.
    f.load(2, 1, 0, 0, 0, 0, 0);
    QCOMPARE(f.device->rawPositionOfOutput(-32768), INT_MAX - 1);
}

void TestNCPSDevice::rawPositionAgreesWith32BitWhereDefined()
{
    // Every combination of edge values: none may trap, and wherever the 32-bit formula stays
    // inside int the result is exactly that formula's.
    const int edges[] = {-32768, -32767, -2, -1, 0, 1, 2, 4095, 32766, 32767};
    Fixture f;
    int checked = 0;
    for (int offset : edges)
        for (int scale : edges)
            for (int direct : edges) {
                f.load(offset, scale, 0, 0, 0, 0, direct);
                for (int count : edges) {
                    const int result = f.device->rawPositionOfOutput(count);
                    if (scale == offset || scale == 0) {
                        QCOMPARE(result, 0);
                        continue;
                    }
                    const long long shifted = (static_cast<long long>(count) - direct) * 65536;
                    if (shifted < INT_MIN || shifted > INT_MAX)
                        continue;
                    const long long exact = shifted / scale - offset;
                    if (exact < INT_MIN || exact > INT_MAX)
                        continue;
                    QCOMPARE(result, static_cast<int>(exact));
                    ++checked;
                }
            }
    QVERIFY(checked > 1000);
}

QTEST_GUILESS_MAIN(TestNCPSDevice)
#include "tst_ncpsdevice.moc"
