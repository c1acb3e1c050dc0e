// The level sensor device against a scripted register bank: construction, the load sequence, every
// parameter write on the wire, and the tank profile table.
#include "lls/device/llsdevice.h"
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "llsbank.h"
#include "messagelog.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// One device on a scripted bank. Industrial families get their own protocol, as the factory does.
struct Rig
{
    ScriptedDriver *driver = new ScriptedDriver;
    LLSBank bank{driver};
    LLSDevice device;

    explicit Rig(const QString &type, const QString &options = {}, const QString &constants = {}, const QString &name = "Probe")
        : device(type == "LLS" ? static_cast<AbstractLLSProtocol *>(new LiquidLevelSensorProtocol(driver))
                               : new IndustrialLevelSensorProtocol(driver),
                 DeviceIdentity{"4301", "5", "000000"}, CatalogueEntry{"4301", "", name, type, options, constants})
    {
    }

    void load(quint32 features)
    {
        bank.registers.insert(19, features);
        device.ReadParameter();
        driver->requests.clear();
    }
    QByteArrayList sent() const { return LLSBank::withoutLocking(driver->requests); }
};

QStringList messages(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out.append(args.at(0).toString());
    return out;
}

SetParamStruct values(float v1, float v2 = 0, float v3 = 0, const QString &text = {})
{
    SetParamStruct s;
    s.value1 = v1;
    s.value2 = v2;
    s.value3 = v3;
    s.text = text;
    return s;
}

SetParamStruct profile(const QStringList &levels, const QStringList &outputs)
{
    SetParamStruct s;
    s.profileLevels = levels;
    s.profileOutputs = outputs;
    return s;
}

QByteArray reg(int address)
{
    return QByteArray::number(address, 16).toUpper();
}

const QByteArrayList RangeReads = {"G 387\r", "G 388\r", "G 389\r", "G 38A\r", "G 38B\r", "G 38C\r"};

}

class TestLLSDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { LLSDevice::RegisterMetaTypes(); }
    void construction_data();
    void construction();
    void features_data();
    void features();
    void plainLoadReadsNamesAndNoRanges();
    void industrialLoadReadsRangesAndTable();
    void rangesValidity();
    void canLoadReadsNmea();
    void measuringRangeAndSwitchOutput();
    void outputRangeSwitchesVoltageRange();
    void outputRangeEdgeCases();
    void resistiveOutputRange();
    void simpleParameters();
    void featureBitWriter();
    void requestsAnswerOnceInOrder();
    void tankProfileWorkedExamples();
    void tankProfileRoundTripFillsEveryRegister();
    void tankProfileRefusals();
    void tankProfileReadTrimsAndFailures();
};

void TestLLSDevice::construction_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("constants");
    QTest::addColumn<bool>("tankOption");
    QTest::addColumn<int>("dacMax");
    QTest::addColumn<bool>("switchOutput");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<float>("minCal");
    QTest::addColumn<float>("maxCal");

    QTest::newRow("tank and 12 bit") << "LLS" << "tankProfile;dac12bit" << "" << true << 4095 << true << "" << 0.f << 0.f;
    QTest::newRow("empty first option") << "LLS" << ";tankProfile" << "" << false << 1023 << true << "" << 0.f << 0.f;
    QTest::newRow("no switch") << "Murkwell" << "noSwitchOutput" << "" << false << 1023 << false << "" << 0.f << 0.f;
    QTest::newRow("constants ILS") << "ILS" << "" << "V;0.5;10.5" << false << 1023 << true << "V" << 0.5f << 10.5f;
    QTest::newRow("constants LLS ignored") << "LLS" << "" << "V;0;10" << false << 1023 << true << "" << 0.f << 0.f;
    QTest::newRow("constants cut short") << "ILS" << "" << "mA" << false << 1023 << true << "mA" << 0.f << 0.f;
}

void TestLLSDevice::construction()
{
    QFETCH(QString, type);
    QFETCH(QString, options);
    QFETCH(QString, constants);
    Rig rig(type, options, constants);
    QTEST(rig.device.HasTankProfileOption(), "tankOption");
    QTEST(rig.device.DacMax(), "dacMax");
    QCOMPARE(rig.device.Dac10bit(), rig.device.DacMax() == 1023);
    QTEST(rig.device.HasSwitchOutput(), "switchOutput");
    QTEST(rig.device.OutputUnit(), "unit");
    QTEST(rig.device.MinCalibratedOutput(), "minCal");
    QTEST(rig.device.MaxCalibratedOutput(), "maxCal");
    QCOMPARE(rig.device.name(), QString("Probe"));
    QCOMPARE(rig.device.deviceType(), type);
    QVERIFY(rig.driver->requests.isEmpty());

    Rig uncatalogued("LLS", {}, {}, QString());
    QCOMPARE(uncatalogued.device.name(), QString("Uncatalogued LLS Device [4301]"));
    QCOMPARE(uncatalogued.device.deviceType(), QString());
}

void TestLLSDevice::features_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("options");
    QTest::addColumn<quint32>("features");
    QTest::addColumn<QString>("outputType");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QList<float>>("calibrationAndLimits");
    QTest::addColumn<bool>("switchOutput");
    QTest::addColumn<bool>("tankEnabled");
    QTest::addColumn<QString>("debugLine");

    using L = QList<float>;
    QTest::newRow("5V on 10 bit") << "ILS" << "" << 0x60u << "5V" << "V" << L{0, 5, 0.25f, 4.75f} << true << false << "FE_VOLTAGE_SELECT";
    QTest::newRow("5V bit on 12 bit") << "ILS" << "dac12bit" << 0x60u << "10V" << "V" << L{0, 10, 0.25f, 10} << true << false << "FE_VOLTAGE_SELECT";
    QTest::newRow("10V Murkwell") << "Murkwell" << "" << 0x20u << "10V" << "V" << L{0, 11.2f, 0.25f, 10} << true << false << "FE_VOLTAGE_SELECT";
    QTest::newRow("resistive bit on ILS") << "ILS" << "" << 0x100u << "mA" << "mA" << L{2, 20, 4, 20} << true << false << "mA";
    QTest::newRow("resistive Murkwell") << "Murkwell" << "" << 0x100u << "resistive" << "Ohm" << L{0, 100, 0, 100} << true << false << "FE_RESISTIVE_SELECT";
    QTest::newRow("CAN Murkwell") << "Murkwell" << "" << 0x200u << "CAN" << "%" << L{0, 100, 0, 100} << false << false << "FE_CAN_SELECT";
    QTest::newRow("CAN bit on LLS") << "LLS" << "" << 0x200u << "mA" << "mA" << L{2, 20, 4, 20} << true << false << "mA";
    QTest::newRow("current Murkwell") << "Murkwell" << "" << 0x80u << "mA" << "mA" << L{0.1f, 21.1f, 4, 20} << true << true << "mA";
    QTest::newRow("7402-115") << "LLS" << "" << 0x4020u << "10V" << "V" << L{0, 10, 0.25f, 10} << false << false << "7402-115 (Level & Temperature, voltage output)";
    QTest::newRow("bits 14 and 15") << "LLS" << "" << 0xC020u << "10V" << "V" << L{0, 10, 0.25f, 10} << true << false << "FE_VOLTAGE_SELECT";
}

void TestLLSDevice::features()
{
    QFETCH(QString, type);
    QFETCH(QString, options);
    QFETCH(QList<float>, calibrationAndLimits);
    QFETCH(quint32, features);
    Rig rig(type, options, "Ohm;0;190");
    MessageLog log;
    rig.load(features);
    QTEST(rig.device.OutputType(), "outputType");
    QTEST(rig.device.OutputUnit(), "unit");
    QCOMPARE(rig.device.MinCalibratedOutput(), calibrationAndLimits[0]);
    QCOMPARE(rig.device.MaxCalibratedOutput(), calibrationAndLimits[1]);
    QCOMPARE(rig.device.MinOutputLimit(), calibrationAndLimits[2]);
    QCOMPARE(rig.device.MaxOutputLimit(), calibrationAndLimits[3]);
    QTEST(rig.device.HasSwitchOutput(), "switchOutput");
    QTEST(rig.device.TankProfileEnabled(), "tankEnabled");
    QFETCH(QString, debugLine);
    QVERIFY(log.lines().contains(debugLine));
}

void TestLLSDevice::plainLoadReadsNamesAndNoRanges()
{
    Rig rig("LLS");
    rig.bank.setName(0, "Diesel");
    rig.bank.setName(1, "Heating oil & more, forty characters long");  // cut to 40
    rig.bank.setText(85 + 80, "ABCDEFGH    IJKL", 4);                  // ends at the spaces
    rig.bank.setName(3, "Water");
    rig.bank.registers.insert(85 + 120 + 1, 0x41000000);                // non-printable: "Wate" only
    rig.bank.setName(4, "Petrol");
    rig.bank.unreadable.append(85 + 160 + 1);                          // read fails after "Petr"
    rig.bank.registers.insert(3, 25);                                   // out of range: reads as 0
    rig.bank.setText(1984, "Tank 3", 2);
    rig.bank.registers.insert(1985, 0x20330000);                        // " 3" then zeros end it

    QSignalSpy loading(&rig.device, &LLSDevice::LoadingMessage);
    QSignalSpy done(&rig.device, &LLSDevice::ParameterUpdate);
    rig.device.ReadParameter();

    QCOMPARE(messages(loading), (QStringList{"Reading Liquid Names", "Reading Liquid Names: 0", "Reading Liquid Names: 1",
                                             "Reading Liquid Names: 2", "Reading Liquid Names: 3", "Reading Liquid Names: 4",
                                             "Reading Liquid Names: 5", "Reading Selected Liquid", "Reading Probe Description",
                                             "Reading Device Features", "Ready"}));
    QCOMPARE(done.count(), 1);
    QCOMPARE(rig.device.LiquidNames(), (QStringList{"Diesel  ", "Heating oil & more, forty characters lon", "ABCDEFGH", "Wate", "Petr"}));
    QCOMPARE(rig.device.SelectedLiquid(), 0);
    QCOMPARE(rig.device.ProbeDescription(), QString("Tank 3"));
    QCOMPARE(rig.driver->requests.first(), QByteArray("M 0\r"));
    for (const QByteArray &request : qAsConst(rig.driver->requests))
        QVERIFY2(!RangeReads.contains(request) && !request.startsWith("G 2"), request.constData());
    QVERIFY(!rig.device.RangesValid());
}

void TestLLSDevice::industrialLoadReadsRangesAndTable()
{
    Rig rig("Murkwell", "tankProfile");
    rig.bank.setName(0, "Diesel");
    rig.bank.registers.insert(19, 0x80);
    rig.bank.registers.insert(903, 0x66);
    rig.bank.registers.insert(904, 0x399);
    rig.bank.registers.insert(905, 0xC3);
    rig.bank.registers.insert(906, 0x3A2);
    rig.bank.registers.insert(907, 0x200);
    rig.bank.registers.insert(908, 0xFFFFFFCD);
    rig.bank.registers.insert(512, 0x00000200);
    rig.bank.registers.insert(576, 0x00000199);
    for (int i = 1; i < 64; ++i) {
        rig.bank.registers.insert(512 + i, 0x03FF03FF);
        rig.bank.registers.insert(576 + i, 0x03FF03FF);
    }

    QSignalSpy loading(&rig.device, &LLSDevice::LoadingMessage);
    rig.device.ReadParameter();
    const QStringList shown = messages(loading);
    QCOMPARE(shown.mid(shown.size() - 6), (QStringList{"Reading Selected Liquid", "Reading Probe Description", "Reading Device Features",
                                                       "Reading Output Ranges", "Reading Tank Profile Table", "Ready"}));
    QCOMPARE(rig.driver->requests.mid(0, 2), (QByteArrayList{"U 3C7E\r", "M 0\r"}));
    QCOMPARE(rig.device.MeasuringRangeMin(), 102);
    QCOMPARE(rig.device.MeasuringRangeMax(), 921);
    QCOMPARE(rig.device.OutputRangeMin(), 195);
    QCOMPARE(rig.device.OutputRangeMax(), 930);
    QCOMPARE(rig.device.WarningLevel(), 512);
    QCOMPARE(rig.device.WarningHysteresis(), -51);
    QVERIFY(rig.device.RangesValid());
    QVERIFY(!rig.device.HysteresisAbove());
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"0", "50", "100"}));
    QCOMPARE(rig.device.TankProfileOutputs(), (QStringList{"0", "40", "100"}));

    // Without the catalogue option the table is not read even with the bit set.
    Rig plain("Murkwell");
    QSignalSpy plainLoading(&plain.device, &LLSDevice::LoadingMessage);
    plain.load(0x80);
    QVERIFY(!messages(plainLoading).contains("Reading Tank Profile Table"));
    QVERIFY(messages(plainLoading).contains("Reading Output Ranges"));
}

void TestLLSDevice::rangesValidity()
{
    struct Case {
        QList<quint32> values;  // 903..906
        bool valid;
    };
    const QList<Case> cases = {
        {{102, 102, 5, 5}, true},      {{0, 0, 0, 1023}, false},    {{0, 1024, 0, 1023}, false},
        {{500, 400, 0, 1023}, false},  {{0, 1023, 600, 500}, false}, {{0xFFFFFFFF, 1023, 0, 1023}, true}  /* too big for an int: 0 */
    };
    for (const Case &c : cases) {
        Rig rig("ILS");
        for (int i = 0; i < 4; ++i)
            rig.bank.registers.insert(903 + i, c.values[i]);
        rig.device.ReadParameter();
        QVERIFY2(rig.device.RangesValid() == c.valid, qPrintable(QString::number(c.values[0]) + "," + QString::number(c.values[1])
                                                                  + "," + QString::number(c.values[2]) + "," + QString::number(c.values[3])));
    }
    // The upper end of a 12-bit output may reach 4095.
    Rig wide("ILS", "dac12bit");
    wide.bank.registers.insert(904, 1023);
    wide.bank.registers.insert(906, 4095);
    wide.device.ReadParameter();
    QVERIFY(wide.device.RangesValid());
}

void TestLLSDevice::canLoadReadsNmea()
{
    Rig rig("Murkwell");
    rig.bank.registers.insert(911, 6);
    rig.bank.registers.insert(909, 15);
    rig.load(0x200);
    QCOMPARE(rig.device.NmeaLiquidType(), 0);
    QCOMPARE(rig.device.NmeaInstance(), 15);
    QVERIFY(!rig.device.HasSwitchOutput());

    rig.device.SetParam("NMEAliquidType", values(3, 12));
    QCOMPARE(rig.sent(), (QByteArrayList{"S 38F 3\r", "S 38D C\r", "S 38E C\r", "G 38F\r", "G 38D\r"}));
    QCOMPARE(rig.device.NmeaLiquidType(), 3);
    QCOMPARE(rig.device.NmeaInstance(), 12);

    rig.driver->requests.clear();
    rig.device.SetParam("NMEAliquidType", values(6, -1));
    QCOMPARE(rig.sent(), (QByteArrayList{"G 38F\r", "G 38D\r"}));
    QCOMPARE(rig.device.NmeaLiquidType(), 3);
}

void TestLLSDevice::measuringRangeAndSwitchOutput()
{
    Rig rig("LLS");
    rig.device.SetParam("measuringRange", values(10, 90));
    QCOMPARE(rig.sent(), QByteArrayList({"S 387 66\r", "S 388 399\r", "Z 0\r"}) + RangeReads);
    QCOMPARE(rig.device.MeasuringRangeMin(), 102);
    QCOMPARE(rig.device.MeasuringRangeMax(), 921);

    rig.driver->requests.clear();
    rig.device.SetParam("switchOutput", values(50, -5));
    QCOMPARE(rig.sent(), QByteArrayList({"S 38B 200\r", "S 38C ffffffcd\r", "Z 0\r"}) + RangeReads);
    QCOMPARE(rig.device.WarningHysteresis(), -51);
    QVERIFY(!rig.device.HysteresisAbove());
    QCOMPARE(qRound(rig.device.HysteresisPercent() * 1000), 4985);

    // Halves round upwards, also below zero: -2.5 counts gives -2.
    rig.driver->requests.clear();
    rig.device.SetParam("switchOutput", values(50, -2.5f * 100 / 1023));
    QCOMPARE(rig.sent().at(1), QByteArray("S 38C fffffffe\r"));
}

void TestLLSDevice::outputRangeSwitchesVoltageRange()
{
    Rig rig("ILS");
    rig.load(0x20);
    QCOMPARE(rig.device.OutputType(), QString("10V"));
    rig.device.SetParam("outputRange", values(0.5f, 4.5f));
    QCOMPARE(rig.sent(), QByteArrayList({"G 13\r", "S 13 60\r", "Z 0\r", "S 389 66\r", "S 38A 399\r", "Z 0\r"}) + RangeReads);
    QCOMPARE(rig.device.OutputType(), QString("5V"));
    QCOMPARE(rig.device.MaxOutputLimit(), 4.75f);
    QCOMPARE(rig.device.MaxCalibratedOutput(), 5.f);
    QCOMPARE(rig.device.OutputRangeMaxValue(), 4.5f);
    QCOMPARE(rig.device.OutputRangeMinValue(), 0.5f);

    // And back: 8 V does not fit the 5 V range.
    rig.driver->requests.clear();
    rig.device.SetParam("outputRange", values(0.5f, 8));
    QCOMPARE(rig.sent(), QByteArrayList({"G 13\r", "S 13 20\r", "Z 0\r", "S 389 33\r", "S 38A 332\r", "Z 0\r"}) + RangeReads);
    QCOMPARE(rig.device.OutputType(), QString("10V"));
    QCOMPARE(rig.device.MaxCalibratedOutput(), 10.f);

    // Between 4.75 and the top the range stays, and the bit is left alone.
    rig.driver->requests.clear();
    rig.device.SetParam("outputRange", values(1, 6));
    QCOMPARE(rig.sent().mid(0, 3), (QByteArrayList{"S 389 66\r", "S 38A 266\r", "Z 0\r"}));
}

void TestLLSDevice::outputRangeEdgeCases()
{
    MessageLog log;
    // A 12-bit voltage sensor never changes range.
    Rig wide("ILS", "dac12bit");
    wide.load(0x20);
    wide.device.SetParam("outputRange", values(0.5f, 4.5f));
    QCOMPARE(wide.sent().mid(0, 3), (QByteArrayList{"S 389 CD\r", "S 38A 733\r", "Z 0\r"}));

    // An unreadable feature register is never written back: the counts stay in the current range.
    Rig rig("ILS");
    rig.load(0x20);
    rig.bank.unreadable.append(19);
    rig.device.SetParam("outputRange", values(0.5f, 4.5f));
    QCOMPARE(rig.sent().mid(0, 5), (QByteArrayList{"G 13\r", "Z 0\r", "S 389 33\r", "S 38A 1CC\r", "Z 0\r"}));
    QCOMPARE(rig.device.OutputType(), QString("10V"));
    QCOMPARE(rig.bank.registers.value(19), 0x20u);
    QVERIFY(log.contains("Feature register unreadable"));

    // A range beyond the converter is not written at all; the read-back still follows.
    Rig current("Murkwell");
    current.load(0);
    current.device.SetParam("outputRange", values(4, 40));
    QCOMPARE(current.sent(), RangeReads);
    QVERIFY(log.contains("outside the converter"));
    current.driver->requests.clear();
    current.device.SetParam("outputRange", values(4, 20));
    QCOMPARE(current.sent().mid(0, 3), (QByteArrayList{"S 389 BE\r", "S 38A 3C9\r", "Z 0\r"}));
}

void TestLLSDevice::resistiveOutputRange()
{
    Rig rig("Murkwell", "", "Ohm;0;190");
    rig.bank.registers.insert(913, 0);
    rig.bank.registers.insert(916, 0x1F4);
    rig.load(0x100);
    QVERIFY(rig.device.OutputInverted());
    QCOMPARE(rig.device.MidOutput(), 500);
    QCOMPARE(rig.device.MidOutputValue(), 48.9f);

    rig.device.SetParam("outputRange", values(10, 90, 60));
    QCOMPARE(rig.sent(), (QByteArrayList{"S 389 66\r", "S 394 0\r", "Z 0\r", "S 394 266\r", "S 38A 399\r", "Z 0\r", "G 387\r", "G 388\r",
                                          "G 391\r", "G 394\r", "G 389\r", "G 38A\r", "G 38B\r", "G 38C\r"}));
    QCOMPARE(rig.device.MidOutput(), 614);

    // These two change registers only; the fields stay as loaded until the next load.
    rig.driver->requests.clear();
    rig.device.SetParam("invertOutput", values(0, 0, 0, "false"));
    rig.device.SetParam("resetMidpoint", values(0));
    rig.device.SetParam("invertOutput", values(0, 0, 0, "true"));
    QCOMPARE(rig.sent(), (QByteArrayList{"S 391 1\r", "Z 0\r", "S 394 0\r", "Z 0\r", "S 391 0\r", "Z 0\r"}));
    QVERIFY(rig.device.OutputInverted());
    QCOMPARE(rig.device.MidOutput(), 614);
}

void TestLLSDevice::simpleParameters()
{
    Rig rig("LLS");
    rig.bank.registers.insert(3, 2);
    rig.device.SetParam("liquidType", values(20));
    QCOMPARE(rig.sent(), (QByteArrayList{"G 3\r"}));
    QCOMPARE(rig.device.SelectedLiquid(), 2);

    rig.driver->requests.clear();
    rig.device.SetParam("liquidType", values(2.5f));
    rig.device.SetParam("liquidType", values(-0.6f));
    QCOMPARE(rig.sent(), (QByteArrayList{"B 4\r", "G 3\r", "G 3\r"}));

    rig.driver->requests.clear();
    rig.device.SetParam("setFixOutputValue", values(512.9f));
    rig.device.SetParam("setFixOutputValue", values(-0.9f));
    rig.device.SetParam("setFixOutputValue", values(1e12f));
    rig.device.SetParam("setFixOutputValue", values(std::numeric_limits<float>::quiet_NaN()));
    rig.device.SetParam("disableFixOutput", values(0));
    QCOMPARE(rig.sent(), (QByteArrayList{"F 200\r", "F 0\r", "M 0\r", "Z 0\r"}));

    rig.driver->requests.clear();
    QSignalSpy loading(&rig.device, &LLSDevice::LoadingMessage);
    MessageLog log;
    rig.device.SetParam("loadingFinish", values(0));
    rig.device.SetParam("exportFPC", values(0, 0, 0, "out.fpc"));
    rig.device.SetParam("importFPC", values(0, 0, 0, "in.fpc"));
    QVERIFY(rig.driver->requests.isEmpty());
    QCOMPARE(messages(loading), (QStringList{"Importing Fluid Probe Configuration (*.fpc) files"}));
    QVERIFY(log.contains("FPC files are not supported yet"));
}

void TestLLSDevice::featureBitWriter()
{
    Rig rig("Murkwell", "tankProfile");
    rig.load(0xFFFF0020);
    rig.device.SetParam("tankProfileEnable", values(0, 0, 0, "true"));
    // Only the low 16 bits go back.
    QCOMPARE(rig.sent(), (QByteArrayList{"G 13\r", "S 13 A0\r", "Z 0\r"}));
    QVERIFY(rig.device.TankProfileEnabled());

    rig.driver->requests.clear();
    rig.device.SetParam("tankProfileEnable", values(0, 0, 0, "true"));
    QCOMPARE(rig.sent(), (QByteArrayList{"G 13\r", "Z 0\r"}));

    rig.driver->requests.clear();
    rig.device.SetParam("tankProfileEnable", values(0, 0, 0, "yes"));
    QCOMPARE(rig.sent(), (QByteArrayList{"G 13\r", "S 13 20\r", "Z 0\r"}));
    QVERIFY(!rig.device.TankProfileEnabled());

    // A failed read leaves register and flag as they were.
    rig.driver->requests.clear();
    rig.bank.unreadable.append(19);
    rig.device.SetParam("tankProfileEnable", values(0, 0, 0, "true"));
    QCOMPARE(rig.sent(), (QByteArrayList{"G 13\r", "Z 0\r"}));
    QVERIFY(!rig.device.TankProfileEnabled());
}

void TestLLSDevice::requestsAnswerOnceInOrder()
{
    Rig rig("LLS");
    QSignalSpy answered(&rig.device, &LLSDevice::ParamSet);
    MessageLog log;
    SetParamStruct s = values(3, 90, 7, "x");
    s.profileLevels = QStringList{"1"};
    rig.device.SetParam("liquidType,bogus,,measuringRange", s);
    QCOMPARE(rig.sent().mid(0, 4), (QByteArrayList{"B 4\r", "G 3\r", "S 387 1f\r", "S 388 399\r"}));
    QVERIFY(log.lines().contains("Param:  bogus  not recognized!!! "));
    QVERIFY(log.lines().contains("Param:    not recognized!!! "));
    QCOMPARE(answered.count(), 1);
    QCOMPARE(answered.at(0).at(0).toString(), QString("liquidType,bogus,,measuringRange"));
    const SetParamStruct back = answered.at(0).at(1).value<SetParamStruct>();
    QCOMPARE(back.text, QString("x"));
    QCOMPARE(back.value3, 7.f);
    QCOMPARE(back.profileLevels, QStringList{"1"});

    // Enabling and writing a table in one request.
    Rig tank("ILS", "tankProfile");
    tank.load(0x20);
    QSignalSpy tankAnswered(&tank.device, &LLSDevice::ParamSet);
    SetParamStruct both = profile({"0", "100"}, {"0", "100"});
    both.text = "true";
    tank.device.SetParam("tankProfileEnable,tankProfile", both);
    QCOMPARE(tank.sent().mid(0, 4), (QByteArrayList{"G 13\r", "S 13 A0\r", "Z 0\r", "S 200 000003FF\r"}));
    QCOMPARE(tank.sent().last(), QByteArray("Z 0\r"));
    QCOMPARE(tankAnswered.count(), 1);
    QVERIFY(tank.device.TankProfileEnabled());
    QCOMPARE(tank.device.TankProfileLevels(), (QStringList{"0", "100"}));
}

void TestLLSDevice::tankProfileWorkedExamples()
{
    Rig rig("LLS");
    rig.device.SetParam("tankProfile", profile({"0", "50", "100"}, {"0", "40", "100"}));
    QByteArrayList expected{"S 200 00000200\r", "S 240 00000199\r", "S 201 03ff03ff\r", "S 241 03ff03ff\r"};
    for (int k = 2; k < 64; ++k)
        expected << "S " + reg(512 + k) + " 03ff03ff\r" << "S " + reg(576 + k) + " 03ff03ff\r";
    expected << "Z 0\r";
    QCOMPARE(rig.sent(), expected);
    rig.device.ReadTankProfile();
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"0", "50", "100"}));
    QCOMPARE(rig.device.TankProfileOutputs(), (QStringList{"0", "40", "100"}));

    rig.driver->requests.clear();
    rig.device.SetParam("tankProfile", profile({"0", "100"}, {"0", "100"}));
    expected = QByteArrayList{"S 200 000003ff\r", "S 240 000003ff\r"};
    for (int k = 1; k < 64; ++k)
        expected << "S " + reg(512 + k) + " 03ff03ff\r" << "S " + reg(576 + k) + " 03ff03ff\r";
    expected << "Z 0\r";
    QCOMPARE(rig.sent(), expected);
    rig.device.ReadTankProfile();
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"0", "100"}));
}

void TestLLSDevice::tankProfileRoundTripFillsEveryRegister()
{
    for (int n : {2, 5, 64, 127, 128}) {
        Rig rig("Murkwell", "tankProfile");
        QStringList levels;
        QStringList outputs;
        for (int k = 0; k < n; ++k) {
            levels << QString::number(k * 100.0 / 128, 'f', 1).remove(QRegularExpression("\\.0$"));
            outputs << QString::number(100 - k * 0.7, 'f', 1).remove(QRegularExpression("\\.0$"));
        }
        rig.device.SetParam("tankProfile", profile(levels, outputs));
        QSet<int> written;
        for (const QByteArray &request : rig.sent()) {
            if (!request.startsWith("S "))
                continue;
            const int address = request.split(' ').at(1).toInt(nullptr, 16);
            QVERIFY2(address >= 512 && address <= 639, request.constData());
            written.insert(address);
        }
        QCOMPARE(written.size(), 128);
        QCOMPARE(rig.sent().count("Z 0\r"), 1);
        rig.device.ReadTankProfile();
        QCOMPARE(rig.device.TankProfileLevels(), levels);
        QCOMPARE(rig.device.TankProfileOutputs(), outputs);
    }
}

void TestLLSDevice::tankProfileRefusals()
{
    Rig rig("Murkwell", "tankProfile");
    rig.device.SetParam("tankProfile", profile({"0", "50", "100"}, {"0", "40", "100"}));
    const QStringList held = rig.device.TankProfileLevels();
    QSignalSpy answered(&rig.device, &LLSDevice::ParamSet);
    MessageLog log;

    QStringList many;
    for (int k = 0; k < 129; ++k)
        many << QString::number(k * 0.5);
    struct Case {
        const char *what;
        SetParamStruct request;
        QByteArrayList wire;
    };
    const QList<Case> cases = {
        {"129 points", profile(many, many), {}},
        {"lengths differ", profile({"0", "100"}, {"0"}), {}},
        {"single point", profile({"50"}, {"50"}), {"Z 0\r"}},
        {"above 100 %", profile({"0", "150"}, {"0", "100"}), {}},
        {"negative", profile({"-5", "100"}, {"0", "100"}), {}},
        {"far beyond", profile({"0", "1e6"}, {"0", "100"}), {}},
    };
    for (const Case &c : cases) {
        rig.driver->requests.clear();
        answered.clear();
        rig.device.SetParam("tankProfile", c.request);
        QVERIFY2(rig.sent() == c.wire, c.what);
        QVERIFY2(rig.device.TankProfileLevels() == held, c.what);
        QCOMPARE(answered.count(), 1);
        QCOMPARE(answered.at(0).at(1).value<SetParamStruct>().profileLevels, c.request.profileLevels);
    }
    QVERIFY(log.contains("Tank profile of 129 points refused"));
    QCOMPARE(rig.bank.registers.value(513), 0x03FF03FFu);

    // Text that is not a number is 0 %, as the editor's own empty cells are.
    rig.device.SetParam("tankProfile", profile({"", "100"}, {"x", "100"}));
    QCOMPARE(rig.bank.registers.value(512), 0x000003FFu);

    // Switching profiling off sends no points and clears the device's table.
    rig.driver->requests.clear();
    rig.device.SetParam("tankProfile", profile({}, {}));
    QCOMPARE(rig.sent(), (QByteArrayList{"Z 0\r"}));
    QVERIFY(rig.device.TankProfileLevels().isEmpty());
    QVERIFY(rig.device.TankProfileOutputs().isEmpty());
}

void TestLLSDevice::tankProfileReadTrimsAndFailures()
{
    Rig rig("ILS", "tankProfile");
    // Four points, the last three equal in both halves, then the fill.
    rig.bank.registers.insert(512, 0x00000200);
    rig.bank.registers.insert(576, 0x00000100);
    for (int i = 1; i < 64; ++i) {
        rig.bank.registers.insert(512 + i, 0x03FF03FF);
        rig.bank.registers.insert(576 + i, 0x03FF03FF);
    }
    rig.device.ReadTankProfile();
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"0", "50", "100"}));
    QCOMPARE(rig.device.TankProfileOutputs(), (QStringList{"0", "25", "100"}));

    // Equal levels with different outputs are distinct points.
    rig.bank.registers.insert(577, 0x02000300);
    rig.device.ReadTankProfile();
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"0", "50", "100", "100", "100"}));

    for (int i = 0; i < 128; ++i)
        rig.bank.registers.insert(512 + i, 0x01000100);
    rig.device.ReadTankProfile();
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"25"}));
    QCOMPARE(rig.device.TankProfileOutputs(), (QStringList{"25"}));

    // A register that cannot be read would shift every later point: no table rather than a wrong one.
    MessageLog log;
    rig.bank.unreadable.append(530);
    rig.device.ReadTankProfile();
    QVERIFY(rig.device.TankProfileLevels().isEmpty());
    QVERIFY(rig.device.TankProfileOutputs().isEmpty());
    QVERIFY(log.contains("Tank profile register 530 unreadable"));
}

QTEST_GUILESS_MAIN(TestLLSDevice)
#include "tst_llsdevice.moc"
