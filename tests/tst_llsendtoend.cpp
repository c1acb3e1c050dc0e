// Level sensors end to end: the real transport over pseudo-terminals against pellora-sim, from
// identification through the full load to live values, and writes that a new load (or a new
// simulator) reads back.
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
    void liveValuesAndWritesReadBack();

private:
    // Identifies the sensor on a port and creates its device, as discovery does; the device is open and loaded.
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
    auto *port = new QSerialPort(path);
    SerialPortDriver::applyLineSettings(port);
    auto *driver = new SerialPortDriver(port);
    QByteArray response;
    const bool answered = driver->open() && driver->sendRequest("ID\r", response);
    AbstractDevice *device = createDevice(driver, answered, response, m_catalogue);
    if (!device)
        delete driver;
    auto *lls = qobject_cast<LLSDevice *>(device);
    if (lls)
        lls->ReadParameter();
    else
        delete device;
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
    QTest::newRow("Murkwell current") << "03-murkwell-current.json"
                                      << F{{"names", QStringList{"Diesel  ", "Heating oil ", "Water   "}}, {"type", "mA"}, {"valid", true},
                                           {"minValue", 4}, {"maxValue", 20}, {"warning", 819}, {"hysteresis", -51}, {"tankEnabled", true},
                                           {"levels", QStringList{"0", "20", "50", "80", "100"}},
                                           {"outputs", QStringList{"0", "14.2", "50", "85.8", "100"}}};
    // The top bit of the feature register set: the bits below it still count.
    QTest::newRow("features 80000060") << R"({"kind":"level","family":"ILS","deviceId":4201,"firmware":1,"features":"0x80000060"})"
                                       << F{{"names", QStringList()}, {"type", "5V"}, {"maxCal", 5}, {"maxLimit", 4.75}};
}

void TestLLSEndToEnd::fullLoad()
{
    QFETCH(QString, file);
    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{file.startsWith('{') ? file : SimProcess::sensorFile(file)}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
    QVERIFY(device);
    QFETCH(QVariantMap, fields);
    LLS_COMPARE_FIELDS(*device, fields);
    device->close();
}

// A moving level; a fixed output held through measurements (which relock the sensor) until it is
// ended; the status bits of the switch alarm and the range. Then what was written a new device
// object reads back, and so does a new simulator from the file it kept the writes in; a table
// that does not fit is refused.
void TestLLSEndToEnd::liveValuesAndWritesReadBack()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath("ils.json");
    QVERIFY(QFile::copy(SimProcess::sensorFile("02-ils-voltage.json"), copy));
    SimProcess sim;
    QVERIFY(sim.start(FastLine + QStringList{"--write-back", copy}));
    QScopedPointer<LLSDevice> device(deviceOn(sim.port(0)));
    QVERIFY(device);
    LLS_COMPARE_FIELDS(*device, (QVariantMap{{"names", QStringList{"Diesel  ", "Biodiesel B100  "}}, {"selected", 1}, {"tankOption", true},
                                             {"tankEnabled", false}, {"warning", 205}, {"hysteresis", 51}}));
    QSignalSpy data(device.data(), &LLSDevice::dataUpdate);
    auto measure = [&] {
        device->ReadMeasurement();
        return data.takeLast().at(0).value<LevelSensorData>();
    };
    LevelSensorData d = measure();
    QVERIFY(!d.readError && d.level > 0 && d.level <= 100);
    QCOMPARE(d.internalTemperature, 24.f);
    device->SetParam("setFixOutputValue", values(512));
    QCOMPARE(qRound(measure().output * 100), 500);
    QCOMPARE(qRound(measure().output * 100), 500);
    // A full alarm from 0 % and a level outside a 0..1 % range; the full range passes at 1 %.
    device->SetParam("switchOutput", values(0, -1));
    device->SetParam("measuringRange,disableFixOutput", values(0, 1));
    d = measure();
    QVERIFY(!d.readError);
    QCOMPARE(static_cast<int>(d.status) & 0x108, 0x108);
    QCOMPARE(d.output, device->MaxCalibratedOutput());

    SetParamStruct s = profile({"0", "10", "25.5", "60", "99.9"}, {"0", "5", "30", "70.2", "100"});
    s.text = "true";
    s.value1 = 10;
    s.value2 = 90;
    SetParamStruct tooLong;
    for (int k = 0; k < 130; ++k)
        tooLong.profileLevels << QString::number(k * 0.5);
    tooLong.profileOutputs = tooLong.profileLevels;
    device->SetParam("measuringRange,tankProfile,tankProfileEnable", s);
    device->SetParam("tankProfile", tooLong);
    device->close();
    const QVariantMap written{{"rangeMin", 102}, {"rangeMax", 921}, {"valid", true}, {"tankEnabled", true},
                              {"levels", s.profileLevels}, {"outputs", s.profileOutputs}};
    device.reset(deviceOn(sim.port(0)));
    QVERIFY(device);
    LLS_COMPARE_FIELDS(*device, written);
    device->close();
    sim.stop();
    SimProcess again;
    QVERIFY(again.start(FastLine + QStringList{copy}));
    device.reset(deviceOn(again.port(0)));
    QVERIFY(device);
    LLS_COMPARE_FIELDS(*device, written);
    device->close();
}

QTEST_MAIN(TestLLSEndToEnd)
#include "tst_llsendtoend.moc"
