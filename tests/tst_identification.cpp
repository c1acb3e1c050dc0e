// Identification of a sensor from its answer to "ID\r", and creation of its device.
#include "device/abstractdevice.h"
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/serialportdriver.h"
#include "messagelog.h"
#include "scripteddriver.h"
#include "simprocess.h"

#include <QCryptographicHash>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray LevelPrefix("ID\r\n\r\x02I,");

DeviceCatalogue catalogueOf(const QByteArray &body)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("cat.ini");
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("[x]\nchecksum=" + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex() + "\n" + body);
    file.close();
    DeviceCatalogue catalogue;
    if (!catalogue.load(path))
        qFatal("test catalogue refused");
    return catalogue;
}

const QByteArray Body = "[1]\nID=2591\nName=Probe\nDeviceType=ILS\n"
                        "[2]\nID=2592\nName=Odd\nDeviceType=Slimfin\n"
                        "[3]\nID=2593\nName=\nDeviceType=LLS\n"
                        "[4]\nID=123\nName=Finder\nDeviceType=LLS\n"
                        "[5]\nID=1234\nName=\nDeviceType=Slimfin\n"
                        "[6]\nID=2594\nName=Plain\nDeviceType=LLS\n";

}

class TestIdentification : public QObject
{
    Q_OBJECT

private slots:
    void levelSensorReplies_data();
    void levelSensorReplies();
    void positionSensorReplies_data();
    void positionSensorReplies();
    void creationFollowsFamilyAndCatalogue();
    void bootloaderProbeOnlyForPromptlessAnswers();
    void realPortsAgainstSimulator();
};

void TestIdentification::levelSensorReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("firmware");
    QTest::newRow("worked example") << LevelPrefix + "0A1F,0102,>" << true << "2591" << "258";
    QTest::newRow("more fields") << LevelPrefix + "10,2,abc,\r\n>" << true << "16" << "2";
    QTest::newRow("not hex") << LevelPrefix + "XYZ,12,>" << true << "0" << "18";
    QTest::newRow("over 32 bits") << LevelPrefix + "1FFFFFFFF,1,>" << true << "0" << "1";
    QTest::newRow("second field unterminated") << LevelPrefix + "0A1F,0102>" << false << "0" << "0";
    QTest::newRow("no echo") << QByteArray("\r\x02I,0A1F,0102,>") << false << "0" << "0";
    QTest::newRow("zero byte cuts the text") << QByteArray("ID\r\n\r\x02I,0A\0" "1F,0102,>", 20) << false << "0" << "0";
    QTest::newRow("empty") << QByteArray() << false << "0" << "0";
}

void TestIdentification::levelSensorReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, matches);
    QFETCH(QString, id);
    QFETCH(QString, firmware);
    DeviceIdentity identity{"stale", "stale", "stale"};
    QCOMPARE(parseLevelSensorId(identity, reply), matches);
    QCOMPARE(identity.deviceId, id);
    QCOMPARE(identity.firmwareVersion, firmware);
    QCOMPARE(identity.serialNumber, QString("000000"));
}

void TestIdentification::positionSensorReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("serial");
    QTest::newRow("worked example") << QByteArray("ID\r\n123 1.4 456789\r\n>") << true << "123" << "1.4" << "456789";
    QTest::newRow("firmware without a dot") << QByteArray("ID\r\n123 14 456789\r\n>") << false << "" << "" << "";
    QTest::newRow("letters") << QByteArray("ID\r\nabc 1.4 456789\r\n>") << false << "" << "" << "";
    QTest::newRow("missing echo") << QByteArray("123 1.4 456789\r\n>") << false << "" << "" << "";
}

void TestIdentification::positionSensorReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, matches);
    QFETCH(QString, id);
    QFETCH(QString, firmware);
    QFETCH(QString, serial);
    DeviceIdentity identity;
    QCOMPARE(parsePositionSensorId(identity, reply), matches);
    QCOMPARE(identity.deviceId, id);
    QCOMPARE(identity.firmwareVersion, firmware);
    QCOMPARE(identity.serialNumber, serial);
}

void TestIdentification::creationFollowsFamilyAndCatalogue()
{
    const DeviceCatalogue catalogue = catalogueOf(Body);
    auto make = [&](const QByteArray &reply, bool *driverDeleted = nullptr) -> AbstractDevice * {
        auto *driver = new ScriptedDriver;
        driver->destroyedFlag = driverDeleted;
        AbstractDevice *device = createDevice(driver, true, reply, catalogue);
        if (!device)
            delete driver;
        return device;
    };

    bool driverDeleted = false;
    QScopedPointer<AbstractDevice> ils(make(LevelPrefix + "0A1F,0102,>", &driverDeleted));
    QVERIFY(ils);
    QCOMPARE(QString(ils->metaObject()->className()), QString("LLSDevice"));
    QCOMPARE(ils->name(), QString("Probe"));
    QCOMPARE(ils->deviceType(), QString("ILS"));
    QCOMPARE(ils->deviceId(), QString("2591"));
    QCOMPARE(ils->firmwareVersion(), QString("258"));
    QCOMPARE(ils->serialNumber(), QString("000000"));
    QCOMPARE(ils->interfaceDriver()->name(), QString("SCRIPT1"));
    ils.reset();
    QVERIFY(driverDeleted);  // the device owns protocol and driver

    // Level answer whose catalogue type is not a level family: no device.
    QVERIFY(!make(LevelPrefix + "0A20,1,>"));
    // Uncatalogued name: the entry has a type but no name.
    QScopedPointer<AbstractDevice> unnamed(make(LevelPrefix + "0A21,1,>"));
    QVERIFY(unnamed);
    QCOMPARE(unnamed->name(), QString("Uncatalogued LLS Device [2593]"));
    QVERIFY(unnamed->deviceType().isEmpty());
    // Unknown ID: no device.
    QVERIFY(!make(LevelPrefix + "FFFF,1,>"));

    // Position answer: an NCPS device whatever the catalogue says its type is.
    QScopedPointer<AbstractDevice> finder(make("ID\r\n123 1.4 456789\r\n>"));
    QVERIFY(finder);
    QCOMPARE(QString(finder->metaObject()->className()), QString("NCPSDevice"));
    QCOMPARE(finder->deviceType(), QString("LLS"));
    QCOMPARE(finder->serialNumber(), QString("456789"));
    QScopedPointer<AbstractDevice> nameless(make("ID\r\n1234 2.0 1\r\n>"));
    QVERIFY(nameless);
    QCOMPARE(nameless->name(), QString("Uncatalogued NCPS Device [1234]"));
    QVERIFY(nameless->deviceType().isEmpty());

    // "I," decides the family: a position-like answer holding it is judged as a level sensor.
    QVERIFY(!make("ID\r\n123 1.4 456789 I,\r\n>"));
    // "I," without the proper prefix: no device and no position parse.
    QVERIFY(!make("xxI,0A1F,0102,>"));
    // The request failed: nothing at all.
    auto *driver = new ScriptedDriver;
    QVERIFY(!createDevice(driver, false, LevelPrefix + "0A1F,0102,>", catalogue));
    QVERIFY(driver->requests.isEmpty());
    delete driver;
}

void TestIdentification::bootloaderProbeOnlyForPromptlessAnswers()
{
    const DeviceCatalogue catalogue = catalogueOf(Body);
    MessageLog log;
    ScriptedDriver driver;
    driver.setReply(QByteArray("U\x05", 2), "\r\nboot*loader\r\n>");
    QVERIFY(!createDevice(&driver, true, QByteArray(), catalogue));
    QCOMPARE(driver.requests, QByteArrayList({QByteArray("U\x05", 2)}));
    QVERIFY(log.contains("Bootloader (CreateBootLoaderProtocol): "));

    // A silent port, or a port that answered something unknown, never gets the probe.
    ScriptedDriver silent;
    QVERIFY(!createDevice(&silent, false, QByteArray(), catalogue));
    ScriptedDriver noisy;
    QVERIFY(!createDevice(&noisy, true, "?!>", catalogue));
    QVERIFY(silent.requests.isEmpty() && noisy.requests.isEmpty());

    // A probe answer without '*' is not logged.
    log.clear();
    ScriptedDriver other;
    other.setReply(QByteArray("U\x05", 2), "nothing>");
    QVERIFY(!createDevice(&other, true, QByteArray(), catalogue));
    QVERIFY(!log.contains("Bootloader"));
}

void TestIdentification::realPortsAgainstSimulator()
{
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", SimProcess::sensorFile("01-lls.json"), SimProcess::sensorFile("07-slimfin.json"),
                       "bootloader", "garbage", "silent"}));
    DeviceCatalogue catalogue;
    QVERIFY(catalogue.load(QStringLiteral(PELLORA_CATALOGUE_PATH)));
    MessageLog log;
    QStringList names;
    for (const QString &path : sim.ports()) {
        auto *port = new QSerialPort;
        SerialPortDriver::applyLineSettings(port);
        port->setPortName(path);
        auto *driver = new SerialPortDriver(port);
        QVERIFY(driver->open());
        QByteArray response;
        const bool answered = driver->sendRequest("ID\r", response);
        AbstractDevice *device = createDevice(driver, answered, response, catalogue);
        driver->close();
        names.append(device ? device->name() : QString());
        if (device)
            delete device;
        else
            delete driver;
    }
    QCOMPARE(names, QStringList({"LLS Level Probe", "Slimfin Position Sensor", "", "", ""}));
    QVERIFY(log.contains("Bootloader (CreateBootLoaderProtocol): "));
    // Bootloader: three "ID" attempts without a prompt, then one wake-up probe answered at once.
    // Noise without a prompt looks the same from here, so it gets the probe too (three attempts).
    QCOMPARE(sim.commandsSeen(sim.port(2), 4, 1000), 4);
    QCOMPARE(sim.commandsSeen(sim.port(3), 0, 0), 6);
    QCOMPARE(sim.commandsSeen(sim.port(4), 0, 0), 3);
}

QTEST_GUILESS_MAIN(TestIdentification)
#include "tst_identification.moc"
