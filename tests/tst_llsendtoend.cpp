// Level sensors end to end: the real transport over pseudo-terminals against pellora-sim, from
// identification through the full load to writes that a new load (or a new simulator) reads back.
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/serialportdriver.h"
#include "llsrig.h"
#include "simprocess.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Replies cut into pieces reach the program as several chunks, so no exchange waits out the
// transport's quiet time; the timing of the line is not what these tests are about.
const QStringList FastLine = {"--no-pacing", "--chunk-size", "16", "--chunk-gap", "1"};

}

class TestLLSEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullLoad_data();
    void fullLoad();
    void writesReadBack();
    void liveMeasurementsAndFixedOutput();

private:
    // Identifies the sensor on a port and creates its device, as discovery does; the device is open
    // and, if asked, loaded.
    LLSDevice *deviceOn(const QString &path, bool load = true);

    DeviceCatalogue m_catalogue;
};

void TestLLSEndToEnd::initTestCase()
{
    LLSDevice::RegisterMetaTypes();
    QVERIFY(m_catalogue.load(QStringLiteral(PELLORA_CATALOGUE_PATH)));
}

LLSDevice *TestLLSEndToEnd::deviceOn(const QString &path, bool load)
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
    else if (load)
        lls->ReadParameter();
    return lls;
}

void TestLLSEndToEnd::fullLoad_data()
{
    QTest::addColumn<QString>("file");  // or a description
    QTest::addColumn<QVariantMap>("fields");
    using F = QVariantMap;
    QTest::newRow("LLS") << "01-lls.json"
                         << F{{"names", QStringList{"Diesel  ", "Petrol  ", "Water   ", "AdBlue  ", "Hydraulic oil   "}}, {"selected", 0},
                              {"description", "Workshop tank, east wall"}, {"type", "10V"}, {"valid", false}, {"switch", true}, {"maxValue", 0}};
    QTest::newRow("ILS voltage") << "02-ils-voltage.json"
                                 << F{{"names", QStringList{"Diesel  ", "Biodiesel B100  "}}, {"selected", 1}, {"description", "Generator day tank"},
                                      {"type", "10V"}, {"valid", true}, {"switch", true}, {"rangeMin", 51}, {"rangeMax", 972}, {"minValue", 0.25},
                                      {"maxValue", 10}, {"warning", 205}, {"hysteresis", 51}};
    QTest::newRow("Murkwell current") << "03-murkwell-current.json"
                                      << F{{"names", QStringList{"Diesel  ", "Heating oil ", "Water   "}}, {"type", "mA"}, {"valid", true},
                                           {"minValue", 4}, {"maxValue", 20}, {"warning", 819}, {"hysteresis", -51}, {"tankEnabled", true},
                                           {"levels", QStringList{"0", "20", "50", "80", "100"}},
                                           {"outputs", QStringList{"0", "14.2", "50", "85.8", "100"}}};
    QTest::newRow("Murkwell resistive") << "04-murkwell-resistive.json"
                                        << F{{"names", QStringList{"Diesel  ", "Fresh water "}}, {"type", "resistive"}, {"unit", "Ohm"},
                                             {"valid", true}, {"inverted", false}, {"midValue", 50}, {"minValue", 5}, {"maxValue", 95}};
    QTest::newRow("Murkwell CAN") << "05-murkwell-can.json"
                                  << F{{"names", QStringList{"Diesel  ", "Petrol  ", "Grey water  ", "Black water "}}, {"selected", 2},
                                       {"type", "CAN"}, {"unit", "%"}, {"switch", false}, {"nmeaType", 4}, {"nmeaInstance", 3}, {"maxValue", 100}};
    QTest::newRow("ILS 12 bit") << "06-ils-12bit.json"
                                << F{{"names", QStringList{"Diesel  ", "Kerosene", "Lubricating oil "}}, {"selected", 1}, {"type", "mA"},
                                     {"dacMax", 4095}, {"valid", true}, {"minValue", 4}, {"maxValue", 20}, {"hysteresis", -26}, {"tankEnabled", false}};
    // The top bit of the feature register set: the bits below it still count.
    QTest::newRow("features 80000060") << R"({"kind":"level","family":"ILS","deviceId":4201,"firmware":1,"features":"0x80000060"})"
                                       << F{{"names", QStringList()}, {"type", "5V"}, {"maxCal", 5}, {"maxLimit", 4.75}};
}

void TestLLSEndToEnd::fullLoad()
{
    QFETCH(QString, file);
    QFETCH(QVariantMap, fields);
    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{file.startsWith('{') ? file : SimProcess::sensorFile(file)}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0), false));
    QVERIFY(device);
    QSignalSpy done(device.data(), &LLSDevice::ParameterUpdate);
    device->ReadParameter();
    QCOMPARE(done.count(), 1);
    LLS_COMPARE_FIELDS(*device, fields);
    device->close();
}

// What was written, a new device object on the same sensor reads back, and so does a new simulator
// from the description file it kept the writes in. A table that does not fit is refused.
void TestLLSEndToEnd::writesReadBack()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath("ils.json");
    QVERIFY(QFile::copy(SimProcess::sensorFile("02-ils-voltage.json"), copy));
    SetParamStruct s = profile({"0", "10", "25.5", "60", "99.9"}, {"0", "5", "30", "70.2", "100"});
    s.text = "true";
    s.value1 = 10;
    s.value2 = 90;
    SetParamStruct tooLong;
    for (int k = 0; k < 130; ++k)
        tooLong.profileLevels << QString::number(k * 0.5);
    tooLong.profileOutputs = tooLong.profileLevels;
    const QVariantMap written{{"rangeMin", 102}, {"rangeMax", 921}, {"valid", true}, {"tankEnabled", true},
                              {"levels", s.profileLevels}, {"outputs", s.profileOutputs}};
    {
        SimProcess sim;
        QVERIFY(sim.start(FastLine + QStringList{"--write-back", copy}));
        QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
        QVERIFY(device);
        LLS_COMPARE_FIELDS(*device, (QVariantMap{{"tankOption", true}, {"tankEnabled", false}}));
        device->SetParam("measuringRange,tankProfile,tankProfileEnable", s);
        device->SetParam("tankProfile", tooLong);
        device->close();
        device.reset(deviceOn(sim.port(0)));
        QVERIFY(device);
        LLS_COMPARE_FIELDS(*device, written);
        device->close();
    }
    SimProcess again;
    QVERIFY(again.start(FastLine + QStringList{copy}));
    QScopedPointer<LLSDevice> device(deviceOn(again.port(0)));
    QVERIFY(device);
    LLS_COMPARE_FIELDS(*device, written);
    device->close();
}

// The simulator's live values: a moving level, a fixed output held through measurements (which
// relock the sensor) until it is ended, and the status bits of the switch alarm and the range.
void TestLLSEndToEnd::liveMeasurementsAndFixedOutput()
{
    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{SimProcess::sensorFile("02-ils-voltage.json")}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
    QVERIFY(device);
    QSignalSpy data(device.data(), &LLSDevice::dataUpdate);
    auto measure = [&]() {
        device->ReadMeasurement();
        return data.takeLast().at(0).value<LevelSensorData>();
    };
    LevelSensorData d = measure();
    QVERIFY(!d.readError);
    QVERIFY(d.level > 0 && d.level <= 100);
    QCOMPARE(d.internalTemperature, 24.f);

    SetParamStruct s;
    s.value1 = 512;
    device->SetParam("setFixOutputValue", s);
    QCOMPARE(qRound(measure().output * 100), 500);
    QCOMPARE(qRound(measure().output * 100), 500);

    // A full alarm from 0 % and a level outside a 0..1 % range; the full range passes at 1 %.
    s.value1 = 0;
    s.value2 = -1;
    device->SetParam("switchOutput", s);
    s.value2 = 1;
    device->SetParam("measuringRange,disableFixOutput", s);
    d = measure();
    QVERIFY(!d.readError);
    QCOMPARE(static_cast<int>(d.status) & 0x108, 0x108);
    QCOMPARE(d.output, device->MaxCalibratedOutput());
    device->close();
}

QTEST_MAIN(TestLLSEndToEnd)
#include "tst_llsendtoend.moc"
