// List reply parsing of the position sensor protocol, over a scripted driver.
#include "ncps/slimfinprotocol.h"
#include "scripteddriver.h"

#include <QtTest>

namespace {

// A list reply as the sensor sends it: echo, property lines, prompt.
QByteArray listReply(const QByteArray &command, const QList<QByteArray> &lines)
{
    QByteArray reply = command + "\r\n";
    for (const QByteArray &line : lines)
        reply += line + "\r\n";
    return reply + '>';
}

}

class TestSlimfinProtocol : public QObject
{
    Q_OBJECT

private slots:
    void sendsTheListCommands();
    void failedOrBareRepliesGiveZeros();
    void valuesAreSignExtended16Bit();
    void measurementStopsAfterPosition();
    void parameterLinesAndOmissions();
    void malformedLinesAreSkipped();
};

void TestSlimfinProtocol::sendsTheListCommands()
{
    auto *driver = new ScriptedDriver;
    SlimfinProtocol protocol(driver);
    QCOMPARE(protocol.interfaceDriver(), driver);
    protocol.ReadMeasurement();
    protocol.ReadParameter();
    QCOMPARE(driver->requests, QByteArrayList({"MLIST\r", "PLIST\r"}));
}

void TestSlimfinProtocol::failedOrBareRepliesGiveZeros()
{
    auto *driver = new ScriptedDriver;
    SlimfinProtocol protocol(driver);
    QByteArray reply;
    bool succeed = false;
    driver->responder = [&](const QByteArray &, QByteArray &response) {
        response = reply;
        return succeed;
    };

    // A failed request returns zeros even when bytes came back.
    reply = listReply("MLIST", {"M1,0400,activator", "M2,0100,raw_position", "M3,0200,position"});
    NCPSMeasurement m = protocol.ReadMeasurement();
    QCOMPARE(m.activator, 0);
    QCOMPARE(m.raw_position, 0);
    QCOMPARE(m.position, 0);

    // Only the echo and the prompt, and bytes without a prompt (an empty response).
    succeed = true;
    for (const QByteArray &bare : {QByteArray("PLIST\r\n>"), QByteArray()}) {
        reply = bare;
        const NCPSParameter p = protocol.ReadParameter();
        QCOMPARE(p.posn_offset, 0);
        QCOMPARE(p.posn_scale, 0);
        QCOMPARE(p.output_lower, 0);
        QCOMPARE(p.output_upper, 0);
        QCOMPARE(p.output_noact, 0);
        QCOMPARE(p.activator_min, 0);
        QCOMPARE(p.output_direct, 0);
    }

    // The last piece is the prompt's: a property sharing its line is not read.
    reply = "MLIST\r\nM1,0400,activator\r\nM3,0200,position\r>";
    m = protocol.ReadMeasurement();
    QCOMPARE(m.activator, 0x400);
    QCOMPARE(m.position, 0);
}

void TestSlimfinProtocol::valuesAreSignExtended16Bit()
{
    auto *driver = new ScriptedDriver;
    SlimfinProtocol protocol(driver);
    driver->setReply("MLIST\r", listReply("MLIST", {"M1,FFFF,activator", "M2,8000,raw_position", "M3,7fff,position"}));
    const NCPSMeasurement m = protocol.ReadMeasurement();
    QCOMPARE(m.activator, -1);
    QCOMPARE(m.raw_position, -32768);
    QCOMPARE(m.position, 32767);
}

void TestSlimfinProtocol::measurementStopsAfterPosition()
{
    auto *driver = new ScriptedDriver;
    SlimfinProtocol protocol(driver);
    driver->setReply("MLIST\r", listReply("MLIST", {"M2,C180,raw_position", "M3,0FFF,position", "M1,0400,activator",
                                                    "M2,0001,raw_position"}));
    const NCPSMeasurement m = protocol.ReadMeasurement();
    QCOMPARE(m.raw_position, -16000);
    QCOMPARE(m.position, 4095);
    QCOMPARE(m.activator, 0);
}

void TestSlimfinProtocol::parameterLinesAndOmissions()
{
    auto *driver = new ScriptedDriver;
    SlimfinProtocol protocol(driver);
    // Every known name, none for output_direct, an unknown one, and posn_scale twice (the last counts).
    driver->setReply("PLIST\r", listReply("PLIST", {"P0,0096,posn_offset", "P1,1000,posn_scale", "P2,0190,output_lower",
                                                    "P9,1234,output_mode", "P3,0E74,output_upper", "P4,FFFE,output_noact",
                                                    "P5,0100,activator_min", "P1,2333,posn_scale"}));
    const NCPSParameter p = protocol.ReadParameter();
    QCOMPARE(p.posn_offset, 150);
    QCOMPARE(p.posn_scale, 0x2333);
    QCOMPARE(p.output_lower, 400);
    QCOMPARE(p.output_upper, 3700);
    QCOMPARE(p.output_noact, -2);
    QCOMPARE(p.activator_min, 256);
    QCOMPARE(p.output_direct, 0);
}

void TestSlimfinProtocol::malformedLinesAreSkipped()
{
    auto *driver = new ScriptedDriver;
    SlimfinProtocol protocol(driver);
    driver->setReply("PLIST\r", "PLIST\r\n"
                                      "P3,0FFF,output_upper\n"          // name without the carriage return
                                      "P2,0190,Output_lower\r\n"        // names are case-sensitive
                                      "\x02noise P5,0100,activator_min\r\n"  // the match may start anywhere
                                      "P0,0x1F,posn_offset\r\n"         // not four hex digits: 0
                                      "P1,12,posn_scale\r\n"            // too short to match: skipped
                                      "P6,0010,output_direct\r\n>");
    const NCPSParameter p = protocol.ReadParameter();
    QCOMPARE(p.output_upper, 0);
    QCOMPARE(p.output_lower, 0);
    QCOMPARE(p.activator_min, 256);
    QCOMPARE(p.posn_offset, 0);
    QCOMPARE(p.posn_scale, 0);
    QCOMPARE(p.output_direct, 16);
}

QTEST_GUILESS_MAIN(TestSlimfinProtocol)
#include "tst_slimfinprotocol.moc"
