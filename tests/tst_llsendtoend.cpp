// Level sensors end to end: the real transport over pseudo-terminals against pellora-sim, from
// identification through the full load to writes that a new load (or a new simulator) reads back.
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/serialportdriver.h"
#include "lls/device/llsdevice.h"
#include "simprocess.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Replies cut into pieces reach the program as several chunks, so no exchange waits out the
// transport's quiet time; the timing of the line is not what these tests are about.
const QStringList FastLine = {"--no-pacing", "--chunk-size", "16", "--chunk-gap", "1"};

QStringList names(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out.append(args.at(0).toString());
    return out;
}

QStringList nameMessages(int count)
{
    QStringList out{"Reading Liquid Names"};
    for (int i = 0; i <= count; ++i)
        out << QStringLiteral("Reading Liquid Names: %1").arg(i);
    return out;
}

}

class TestLLSEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullLoad_data();
    void fullLoad();
    void measuringRangeReadBackByNewLoad();
    void tankProfileWrittenAndReadBack();
    void liveMeasurementsAndFixedOutput();

private:
    // Identifies the sensor on a port and creates its device, as discovery does; the device is open.
    LLSDevice *deviceOn(const QString &path);

    DeviceCatalogue m_catalogue;
};

void TestLLSEndToEnd::initTestCase()
{
    LLSDevice::RegisterMetaTypes();
    QVERIFY(m_catalogue.load(QStringLiteral(PELLORA_CATALOGUE_PATH)));
}

LLSDevice *TestLLSEndToEnd::deviceOn(const QString &path)
{
    auto *port = new QSerialPort;
    SerialPortDriver::applyLineSettings(port);
    port->setPortName(path);
    auto *driver = new SerialPortDriver(port);
    if (!driver->open()) {
        delete driver;
        return nullptr;
    }
    QByteArray response;
    const bool result = driver->sendRequest("ID\r", response);
    AbstractDevice *device = createDevice(driver, result, response, m_catalogue);
    if (!device)
        delete driver;
    auto *lls = qobject_cast<LLSDevice *>(device);
    if (!lls)
        delete device;
    return lls;
}

void TestLLSEndToEnd::fullLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("liquids");
    QTest::addColumn<QStringList>("afterNames");
    QTest::addColumn<QVariantMap>("fields");

    const QStringList plainTail{"Reading Selected Liquid", "Reading Probe Description", "Reading Device Features", "Ready"};
    const QStringList rangesTail{"Reading Selected Liquid", "Reading Probe Description", "Reading Device Features",
                                 "Reading Output Ranges", "Ready"};
    QStringList tableTail = rangesTail;
    tableTail.insert(4, "Reading Tank Profile Table");

    QTest::newRow("LLS") << "01-lls.json" << QStringList{"Diesel  ", "Petrol  ", "Water   ", "AdBlue  ", "Hydraulic oil   "} << plainTail
                         << QVariantMap{{"selected", 0}, {"description", "Workshop tank, east wall"}, {"type", "10V"},
                                        {"valid", false}, {"switch", true}, {"minValue", 0.0}, {"maxValue", 0.0}};
    QTest::newRow("ILS voltage") << "02-ils-voltage.json" << QStringList{"Diesel  ", "Biodiesel B100  "} << rangesTail
                                 << QVariantMap{{"selected", 1}, {"description", "Generator day tank"}, {"type", "10V"}, {"valid", true},
                                                {"switch", true}, {"rangeMin", 51}, {"rangeMax", 972}, {"minValue", 0.25}, {"maxValue", 10.0},
                                                {"warning", 205}, {"hysteresis", 51}};
    QTest::newRow("Murkwell current") << "03-murkwell-current.json" << QStringList{"Diesel  ", "Heating oil ", "Water   "} << tableTail
                                      << QVariantMap{{"selected", 0}, {"type", "mA"}, {"valid", true}, {"minValue", 4.0}, {"maxValue", 20.0},
                                                     {"warning", 819}, {"hysteresis", -51}, {"tankEnabled", true},
                                                     {"levels", QStringList{"0", "20", "50", "80", "100"}},
                                                     {"outputs", QStringList{"0", "14.2", "50", "85.8", "100"}}};
    QTest::newRow("Murkwell resistive") << "04-murkwell-resistive.json" << QStringList{"Diesel  ", "Fresh water "} << rangesTail
                                        << QVariantMap{{"type", "resistive"}, {"unit", "Ohm"}, {"valid", true}, {"inverted", false},
                                                       {"midValue", 50.0}, {"minValue", 5.0}, {"maxValue", 95.0}};
    QTest::newRow("Murkwell CAN") << "05-murkwell-can.json" << QStringList{"Diesel  ", "Petrol  ", "Grey water  ", "Black water "}
                                  << rangesTail
                                  << QVariantMap{{"selected", 2}, {"type", "CAN"}, {"unit", "%"}, {"switch", false}, {"nmeaType", 4},
                                                 {"nmeaInstance", 3}, {"minValue", 0.0}, {"maxValue", 100.0}};
    QTest::newRow("ILS 12 bit") << "06-ils-12bit.json" << QStringList{"Diesel  ", "Kerosene", "Lubricating oil "} << rangesTail
                                << QVariantMap{{"selected", 1}, {"type", "mA"}, {"dacMax", 4095}, {"valid", true}, {"minValue", 4.0},
                                               {"maxValue", 20.0}, {"hysteresis", -26}, {"tankEnabled", false}};
}

void TestLLSEndToEnd::fullLoad()
{
    QFETCH(QString, file);
    QFETCH(QStringList, liquids);
    QFETCH(QStringList, afterNames);
    QFETCH(QVariantMap, fields);

    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{SimProcess::sensorFile(file)}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
    QVERIFY(device);
    QSignalSpy loading(device.data(), &LLSDevice::LoadingMessage);
    QSignalSpy done(device.data(), &LLSDevice::ParameterUpdate);
    device->ReadParameter();
    QCOMPARE(done.count(), 1);
    QCOMPARE(names(loading), nameMessages(liquids.size()) + afterNames);
    QCOMPARE(device->LiquidNames(), liquids);

    auto check = [&](const char *key, const QVariant &actual) {
        if (fields.contains(key))
            QVERIFY2(actual == fields.value(key), qPrintable(QString("%1: %2").arg(key, actual.toString())));
    };
    check("selected", device->SelectedLiquid());
    check("description", device->ProbeDescription());
    check("type", device->OutputType());
    check("unit", device->OutputUnit());
    check("valid", device->RangesValid());
    check("switch", device->HasSwitchOutput());
    check("rangeMin", device->MeasuringRangeMin());
    check("rangeMax", device->MeasuringRangeMax());
    check("minValue", static_cast<double>(device->OutputRangeMinValue()));
    check("maxValue", static_cast<double>(device->OutputRangeMaxValue()));
    check("midValue", static_cast<double>(device->MidOutputValue()));
    check("warning", device->WarningLevel());
    check("hysteresis", device->WarningHysteresis());
    check("inverted", device->OutputInverted());
    check("nmeaType", device->NmeaLiquidType());
    check("nmeaInstance", device->NmeaInstance());
    check("dacMax", device->DacMax());
    check("tankEnabled", device->TankProfileEnabled());
    check("levels", device->TankProfileLevels());
    check("outputs", device->TankProfileOutputs());
    device->close();
}

void TestLLSEndToEnd::measuringRangeReadBackByNewLoad()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath("ils.json");
    QVERIFY(QFile::copy(SimProcess::sensorFile("02-ils-voltage.json"), copy));

    SetParamStruct s;
    s.text = "false";
    s.value1 = 10;
    s.value2 = 90;
    {
        SimProcess sim;
        QVERIFY(sim.start(FastLine + QStringList{"--write-back", copy}));
        QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
        QVERIFY(device);
        device->ReadParameter();
        QSignalSpy answered(device.data(), &LLSDevice::ParamSet);
        device->SetParam("measuringRange,tankProfileEnable", s);
        QCOMPARE(answered.count(), 1);
        QCOMPARE(device->MeasuringRangeMin(), 102);
        QCOMPARE(device->MeasuringRangeMax(), 921);

        // A second device object on the same sensor: only what the sensor holds counts.
        device->close();
        device.reset(deviceOn(sim.port(0)));
        QVERIFY(device);
        device->ReadParameter();
        QCOMPARE(device->MeasuringRangeMin(), 102);
        QCOMPARE(device->MeasuringRangeMax(), 921);
        QCOMPARE(qRound(device->MeasuringRangeMinPercent() * 10), 100);
        QVERIFY(device->RangesValid());
        QVERIFY(!device->TankProfileEnabled());
        device->close();
    }
    // The simulator kept the writes in its description file.
    SimProcess again;
    QVERIFY(again.start(FastLine + QStringList{copy}));
    QScopedPointer<LLSDevice> device(deviceOn(again.port(0)));
    QVERIFY(device);
    device->ReadParameter();
    QCOMPARE(device->MeasuringRangeMin(), 102);
    QCOMPARE(device->MeasuringRangeMax(), 921);
    device->close();
}

void TestLLSEndToEnd::tankProfileWrittenAndReadBack()
{
    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{SimProcess::sensorFile("02-ils-voltage.json")}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
    QVERIFY(device);
    device->ReadParameter();
    QVERIFY(device->HasTankProfileOption());
    QVERIFY(!device->TankProfileEnabled());

    SetParamStruct s;
    s.text = "true";
    s.profileLevels = QStringList{"0", "10", "25.5", "60", "99.9"};
    s.profileOutputs = QStringList{"0", "5", "30", "70.2", "100"};
    device->SetParam("tankProfileEnable,tankProfile", s);
    QCOMPARE(device->TankProfileLevels(), s.profileLevels);

    // A table that does not fit is refused and the sensor's own stays, on the wire and on the device.
    SetParamStruct tooLong = s;
    tooLong.profileLevels.clear();
    tooLong.profileOutputs.clear();
    for (int k = 0; k < 130; ++k) {
        tooLong.profileLevels << QString::number(k * 0.5);
        tooLong.profileOutputs << QString::number(k * 0.5);
    }
    device->SetParam("tankProfile", tooLong);
    QCOMPARE(device->TankProfileLevels(), s.profileLevels);

    device->close();
    device.reset(deviceOn(sim.port(0)));
    QVERIFY(device);
    QSignalSpy loading(device.data(), &LLSDevice::LoadingMessage);
    device->ReadParameter();
    QVERIFY(names(loading).contains("Reading Tank Profile Table"));
    QVERIFY(device->TankProfileEnabled());
    QCOMPARE(device->TankProfileLevels(), s.profileLevels);
    QCOMPARE(device->TankProfileOutputs(), s.profileOutputs);
    device->close();
}

void TestLLSEndToEnd::liveMeasurementsAndFixedOutput()
{
    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{SimProcess::sensorFile("02-ils-voltage.json")}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
    QVERIFY(device);
    device->ReadParameter();
    QSignalSpy data(device.data(), &LLSDevice::dataUpdate);
    auto measure = [&]() {
        device->ReadMeasurement();
        return data.takeLast().at(0).value<LevelSensorData>();
    };

    LevelSensorData d = measure();
    QVERIFY(!d.readError);
    QVERIFY(d.level > 0 && d.level <= 100);
    QCOMPARE(d.internalTemperature, 24.f);

    // A fixed output holds through measurements (which relock the sensor) until it is ended.
    SetParamStruct fixed;
    fixed.value1 = 512;
    device->SetParam("setFixOutputValue", fixed);
    d = measure();
    QCOMPARE(qRound(d.output * 100), 500);
    d = measure();
    QCOMPARE(qRound(d.output * 100), 500);

    // Status: the switch alarm (full alarm from 0 %) and a level outside a 0..1 % range.
    SetParamStruct alarm;
    alarm.value1 = 0;
    alarm.value2 = -1;
    device->SetParam("switchOutput", alarm);
    alarm.value2 = 1;
    device->SetParam("measuringRange,disableFixOutput", alarm);
    d = measure();
    QVERIFY(!d.readError);
    QCOMPARE(static_cast<int>(d.status) & 0x108, 0x108);
    QCOMPARE(d.output, device->MaxCalibratedOutput());  // the full range passed at 1 %
    device->close();
}

QTEST_MAIN(TestLLSEndToEnd)
#include "tst_llsendtoend.moc"
