// The position sensor device over its list protocol: reply parsing, naming and ownership, and the
// output arithmetic.
#include "ncps/ncpsdevice.h"
#include "ncps/slimfinprotocol.h"
#include "scripteddriver.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>

namespace {

// A device whose next ReadParameter reads the given offset, scale and direct output (limits 400
// and 3700, no-activator output -1, activator minimum 256).
struct Fixture
{
    ScriptedDriver *driver = new ScriptedDriver;
    NCPSDevice device{new SlimfinProtocol(driver), DeviceIdentity{"123", "1.4", "456789"},
                      CatalogueEntry{"123", "", "Slimfin Position Sensor", "Slimfin", "", ""}};

    void load(int offset, int scale, int direct)
    {
        auto field = [](int v) { return QByteArray::number(quint16(v), 16).rightJustified(4, '0'); };
        driver->setReply("PLIST\r", "PLIST\r\nP0," + field(offset) + ",posn_offset\r\nP1," + field(scale)
                                        + ",posn_scale\r\nP2,0190,output_lower\r\nP3,0E74,output_upper\r\n"
                                          "P4,FFFF,output_noact\r\nP5,0100,activator_min\r\nP6,"
                                        + field(direct) + ",output_direct\r\n>");
        device.ReadParameter();
    }
};

// Every field of both reads that is not zero, as "name=value" in declaration order.
QString nonZeroFields(const NCPSMeasurement &m, const NCPSParameter &p)
{
    const QPair<QString, int> fields[] = {{"activator", m.activator}, {"raw_position", m.raw_position},
        {"position", m.position}, {"posn_offset", p.posn_offset}, {"posn_scale", p.posn_scale},
        {"output_lower", p.output_lower}, {"output_upper", p.output_upper}, {"output_noact", p.output_noact},
        {"activator_min", p.activator_min}, {"output_direct", p.output_direct}};
    QStringList out;
    for (const auto &field : fields)
        if (field.second != 0)
            out << QString("%1=%2").arg(field.first).arg(field.second);
    return out.join(' ');
}

}

class TestNCPSDevice : public QObject
{
    Q_OBJECT

private slots:
    void identityAndOwnership();
    void readsParseListReplies_data();
    void readsParseListReplies();
    void countsToVolts();
    void rawPositionOfOutput_data();
    void rawPositionOfOutput();
    void rawPositionAgreesWith32BitWhereDefined();
};

void TestNCPSDevice::identityAndOwnership()
{
    bool driverGone = false;
    {
        Fixture f;
        f.driver->destroyedFlag = &driverGone;
        QCOMPARE(f.device.name(), QString("Slimfin Position Sensor"));
        QCOMPARE(f.device.deviceType(), QString("Slimfin"));
        QCOMPARE(f.device.interfaceDriver(), f.driver);
        QSignalSpy failed(&f.device, &AbstractDevice::CommunicationFailed);
        QVERIFY(f.device.open() && f.driver->isOpen);
        f.device.close();
        QCOMPARE(f.driver->closeCount, 1);
        // A port that cannot be opened is reported, naming it.
        f.driver->refuseOpen = "Permission denied";
        QVERIFY(!f.device.open());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0), (QVariantList{"open", "Cannot open SCRIPT1: Permission denied.", true}));
    }
    QVERIFY2(driverGone, "the device deletes its protocol, which deletes the driver");

    NCPSDevice uncatalogued(new SlimfinProtocol(new ScriptedDriver), DeviceIdentity{"1234", "1.0", "1"},
                            CatalogueEntry{"1234", "", "", "Slimfin", "", ""});
    QCOMPARE(uncatalogued.name(), QString("Uncatalogued NCPS Device [1234]"));
    QCOMPARE(uncatalogued.deviceType(), QString());
}

void TestNCPSDevice::readsParseListReplies_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QStringList>("failed");  // the requests reported as unanswered instead of read

    const QByteArray measurement = "MLIST\r\nM1,0400,activator\r\nM2,0100,raw_position\r\nM3,0200,position\r\n>";
    const QStringList both{"MLIST", "PLIST"};
    QTest::newRow("failed request, bytes ignored") << false << measurement << "" << both;
    QTest::newRow("echo and prompt only") << true << QByteArray("PLIST\r\n>") << "" << QStringList{"MLIST"};
    QTest::newRow("empty") << true << QByteArray() << "" << both;
    QTest::newRow("FFFF and 8000 sign-extended")
        << true << QByteArray("MLIST\r\nM1,FFFF,activator\r\nM2,8000,raw_position\r\nM3,7fff,position\r\n>")
        << "activator=-1 raw_position=-32768 position=32767" << QStringList();
    QTest::newRow("nothing read after position")
        << true << QByteArray("MLIST\r\nM2,C180,raw_position\r\nM3,0FFF,position\r\nM1,0400,activator\r\n>")
        << "raw_position=-16000 position=4095" << QStringList();
    // Without its position line a measurement says nothing about the activator.
    QTest::newRow("position sharing the prompt's piece is not read")
        << true << QByteArray("MLIST\r\nM1,0400,activator\r\nM3,0200,position\r>") << "" << QStringList{"MLIST"};
    // output_direct missing, an unknown name, and posn_scale twice (the last counts).
    QTest::newRow("parameters")
        << true
        << QByteArray("PLIST\r\nP0,0096,posn_offset\r\nP1,1000,posn_scale\r\nP2,0190,output_lower\r\n"
                      "P9,1234,output_mode\r\nP3,0E74,output_upper\r\nP4,FFFE,output_noact\r\n"
                      "P5,0100,activator_min\r\nP1,2333,posn_scale\r\n>")
        << "posn_offset=150 posn_scale=9011 output_lower=400 output_upper=3700 output_noact=-2 activator_min=256"
        << QStringList{"MLIST"};
    QTest::newRow("malformed lines")
        << true
        << QByteArray("PLIST\r\n"
                      "P3,0FFF,output_upper\n"               // name without the carriage return: skipped
                      "P2,0190,Output_lower\r\n"             // names are case-sensitive
                      "\x02noise P5,0100,activator_min\r\n"  // the match may start anywhere
                      "P0,0x1F,posn_offset\r\n"              // not four hex digits: 0
                      "P1,12,posn_scale\r\n"                 // too short to match: skipped
                      "P6,0010,output_direct\r\n>")
        << "activator_min=256 output_direct=16" << QStringList{"MLIST"};
}

// Both reads get the same reply: measurement names never land in the parameters, nor the reverse.
// A read either emits its record, which for parameters the device then keeps, or reports that the
// sensor did not answer; a record of zeros never stands for a failed read.
void TestNCPSDevice::readsParseListReplies()
{
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, failed);
    Fixture f;
    f.load(1, 2, 3);
    const NCPSParameter before = f.device.parameters();
    f.driver->requests.clear();
    f.driver->responder = [&](const QByteArray &, QByteArray &response) {
        response = reply;
        return succeeds;
    };
    QSignalSpy measurements(&f.device, &NCPSDevice::MeasurementUpdate);
    QSignalSpy parameters(&f.device, &NCPSDevice::ParameterUpdate);
    QSignalSpy failures(&f.device, &AbstractDevice::CommunicationFailed);
    f.device.ReadMeasurement();
    f.device.ReadParameter();
    QCOMPARE(f.driver->requests, QByteArrayList({"MLIST\r", "PLIST\r"}));
    QStringList unanswered;
    for (const QList<QVariant> &args : failures) {
        unanswered << args.at(0).toString();
        QCOMPARE(args.mid(1), (QVariantList{"The sensor on SCRIPT1 did not answer.", false}));
    }
    QCOMPARE(unanswered, failed);
    QCOMPARE(measurements.count(), failed.contains("MLIST") ? 0 : 1);
    QCOMPARE(parameters.count(), failed.contains("PLIST") ? 0 : 1);
    const auto m = measurements.isEmpty() ? NCPSMeasurement{} : measurements.at(0).at(0).value<NCPSMeasurement>();
    const auto p = parameters.isEmpty() ? NCPSParameter{} : parameters.at(0).at(0).value<NCPSParameter>();
    QCOMPARE(nonZeroFields({}, f.device.parameters()), nonZeroFields({}, parameters.isEmpty() ? before : p));
    QTEST(nonZeroFields(m, p), "fields");
}

void TestNCPSDevice::countsToVolts()
{
    // 0..4095 counts are 0..4.568 V; beyond, limited with clamping and extrapolated without.
    const struct { int count; bool clamp; double volts; } cases[] = {
        {4095, false, 4.568}, {2048, true, 2.2846}, {0, true, 0.0}, {5000, true, 4.568},
        {5000, false, 5.5775}, {-100, true, 0.0}, {-100, false, -0.11155}};
    Fixture f;
    for (const auto &c : cases) {
        const double volts = f.device.countsToVolts(c.count, c.clamp);
        QVERIFY2(qAbs(volts - c.volts) < 1e-4, qPrintable(QString("%1 %2: %3").arg(c.count).arg(c.clamp).arg(volts)));
    }
}

void TestNCPSDevice::rawPositionOfOutput_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("direct");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("raw");
    QTest::newRow("lower limit") << 150 << 9011 << 2048 << 400 << -12135;
    QTest::newRow("falling output, lower on the right") << 150 << -9011 << 2048 << 400 << 11835;
    // Equal scale and offset (also the all-zero parameters before a read) and a zero scale cannot be
    // inverted: the middle, not a fault.
    QTest::newRow("all zero, as before a read") << 0 << 0 << 0 << 400 << 0;
    QTest::newRow("scale equal to offset") << 77 << 77 << 0 << 3700 << 0;
    QTest::newRow("zero scale") << 150 << 0 << 2048 << 400 << 0;
    // 0x8000 << 16 is INT_MIN, and INT_MIN / 0xFFFF (-1) traps in 32 bits: 2^31 wraps to INT_MIN.
    QTest::newRow("8000 with scale FFFF") << 0 << -1 << 0 << -32768 << INT_MIN;
    QTest::newRow("8000 with scale FFFF, offset 1") << 1 << -1 << 0 << -32768 << INT_MAX;
    QTest::newRow("difference shifted into the sign bit") << 0 << 1 << -7233 << 32767 << -1673527296;
    QTest::newRow("final subtraction wraps") << 2 << 1 << 0 << -32768 << INT_MAX - 1;
}

void TestNCPSDevice::rawPositionOfOutput()
{
    QFETCH(int, offset);
    QFETCH(int, scale);
    QFETCH(int, direct);
    QFETCH(int, count);
    Fixture f;
    f.load(offset, scale, direct);
    QTEST(f.device.rawPositionOfOutput(count), "raw");
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
                f.load(offset, scale, direct);
                for (int count : edges) {
                    const int result = f.device.rawPositionOfOutput(count);
                    const long long shifted = (static_cast<long long>(count) - direct) * 65536;
                    const long long exact = scale == 0 ? 0 : shifted / scale - offset;
                    if (scale == offset || scale == 0) {
                        QCOMPARE(result, 0);
                    } else if (shifted >= INT_MIN && shifted <= INT_MAX && exact >= INT_MIN && exact <= INT_MAX) {
                        QCOMPARE(result, static_cast<int>(exact));
                        ++checked;
                    }
                }
            }
    QVERIFY(checked > 1000);
}

QTEST_GUILESS_MAIN(TestNCPSDevice)
#include "tst_ncpsdevice.moc"
