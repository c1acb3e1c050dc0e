// Device access: the serial transport over pseudo-terminals against pellora-sim, identifying a
// sensor from its answer to "ID\r" and creating its device, and the catalogue's lookup.
#include "device/abstractdevice.h"
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/devicemanager.h"
#include "device/serialportdriver.h"
#include "device/tracelog.h"
#include "messagelog.h"
#include "modalanswer.h"
#include "scripteddriver.h"
#include "shell.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <pty.h>
#include <unistd.h>

namespace {

SerialPortDriver *driverFor(const QString &path)
{
    auto *port = new QSerialPort(path);
    SerialPortDriver::applyLineSettings(port);
    return new SerialPortDriver(port);
}

// A sensor answering one command with the given pieces, chunkGapMs apart.
QString script(const QString &command, const QStringList &pieces, int chunkGapMs = 0)
{
    const QJsonObject reply{{"command", command}, {"pieces", QJsonArray::fromStringList(pieces)}};
    return QJsonDocument(QJsonObject{{"kind", "script"}, {"replies", QJsonArray{reply}}, {"paced", false}, {"answerDelayMs", 2},
                                     {"chunkGapMs", chunkGapMs}})
        .toJson(QJsonDocument::Compact);
}

const QByteArray Body = "[a]\nID=17\nFirmwareVersions=\"1;2\"\nName=First\nDeviceType=LLS\nOptions=\"tankProfile;dac12bit\"\n"
                        "[b]\nID=17\nFirmwareVersions=2\nName=Later\nDeviceType=ILS\nConstantProperties=\"V;0;10\"\n"
                        "[c]\nID=5\nName=Any firmware\nDeviceType=Slimfin\n"
                        "[d]\nID=5\nFirmwareVersions=9\nName=Never reached\nDeviceType=Slimfin\n"
                        "[e]\nID=6\nName=\nDeviceType=LLS\n"
                        "[f]\nID=123\nName=Finder\nDeviceType=LLS\n";
const QByteArray LevelPrefix("ID\r\n\r\x02I,");
const QByteArray Boot("U\x05", 2);

}

class TestDeviceAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void realPorts_data();
    void realPorts();
    void closedAndHungUpPorts();
    void lateRepliesAreDropped();
    void noRequestsOnceInterrupted();
    void portsComeAndGo();
    void creation_data();
    void creation();
    void lookup_data();
    void lookup();

private:
    QTemporaryDir m_dir;
    DeviceCatalogue m_catalogue;  // of Body
};

void TestDeviceAccess::initTestCase()
{
    QFile file(m_dir.filePath("catalogue.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("; test catalogue\nchecksum=" + QCryptographicHash::hash(Body, QCryptographicHash::Sha1).toHex() + "\n" + Body);
    file.close();
    bool loaded = false;
    const QString box = answerMessageBoxes([&] { loaded = m_catalogue.load(file.fileName()); });
    QVERIFY2(loaded, qPrintable(box));
}

void TestDeviceAccess::realPorts_data()
{
    QTest::addColumn<QString>("sensor");       // a simulator kind or a script
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("response");  // empty: the caller's buffer is left as it was
    QTest::addColumn<int>("commands");         // what the sensor received, a bootloader probe included
    QTest::addColumn<int>("minMs");

    const QByteArray whole = "X\r\n\r\x02X,00000001,\r\n>";
    const QByteArray chunked = "C\r\n\r\x02C,12345678,ABCDEF01,\r\n>";
    auto row = [](const char *name, const QString &sensor, const QByteArray &request, bool result, const QByteArray &response,
                  int commands, int minMs = 0) {
        QTest::newRow(name) << sensor << request << result << response << commands << minMs;
    };
    // The first piece is not checked for the prompt: one more quiet wait follows it.
    row("one piece ending in the prompt", script("X\r", {whole}), "X\r", true, whole, 1, 45);
    row("pieces joined", script("C\r", {chunked.left(7), chunked.mid(7, 9), chunked.mid(16)}, 20), "C\r", true, chunked, 1);
    // Bytes came but never a final prompt: true after three attempts, the buffer untouched.
    row("prompt inside, not last", script("P\r", {"P\r\n>still talking"}), "P\r", true, {}, 3);
    row("commit needs no prompt", script("Z 0\r", {"Z 0\r\n\r\x02Z,"}), "Z 0\r", true, "Z 0\r\n\r\x02Z,", 1);
    row("past 500 bytes", script("BIG\r", {QString(350, 'a'), QString(350, 'b')}, 10), "BIG\r", false, {}, 1);
    // A byte every 25 ms without a prompt would reach the size guard after 12 s.
    row("trickle without a prompt", script("T\r", QString(600, 'x').split("", Qt::SkipEmptyParts), 25), "T\r", false, {}, 1);
    // Every attempt waits for a first byte.
    row("silent", "silent", "ID\r", false, {}, 3, SerialPortDriver::SilentRequestMs - 50);
    // Three "ID" attempts without a prompt, then one wake-up probe, answered at once. Noise without a
    // prompt looks the same from here: it gets the probe too, with its three attempts.
    row("bootloader", "bootloader", "ID\r", true, {}, 4);
    row("garbage", "garbage", "ID\r", true, {}, 6);
}

void TestDeviceAccess::realPorts()
{
    QFETCH(QString, sensor);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, response);
    QFETCH(int, minMs);
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", sensor}));
    QScopedPointer<SerialPortDriver> driver(driverFor(sim.port(0)));
    QVERIFY(driver->open());
    MessageLog log;
    // Discovery asks with an empty buffer; the other requests show whether it is touched.
    QByteArray buffer = request == "ID\r" ? QByteArray() : QByteArray("untouched");
    QElapsedTimer clock;
    clock.start();
    const bool result = driver->sendRequest(request, buffer);
    QTEST(result, "result");
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= minMs && elapsed < 3000, qPrintable(QString::number(elapsed)));
    if (request == "ID\r") {
        // None is a sensor; bytes without a prompt get the bootloader's probe.
        QVERIFY(!createDevice(driver.data(), result, buffer, m_catalogue));
        QCOMPARE(log.contains("Bootloader (CreateBootLoaderProtocol): "), sensor == "bootloader");
    } else {
        QCOMPARE(buffer, response.isEmpty() ? QByteArray("untouched") : response);
    }
    QCOMPARE(log.contains("responseData.size()>500"), request == "BIG\r");
    QFETCH(int, commands);
    QCOMPARE(sim.commandsSeen(sim.port(0), commands, 1000), commands);
    QTest::qWait(100);
    QCOMPARE(sim.commandsSeen(sim.port(0)), commands);
}

void TestDeviceAccess::closedAndHungUpPorts()
{
    QScopedPointer<SerialPortDriver> closed(driverFor("/dev/pts/does-not-exist"));
    QVERIFY(!closed->open());
    MessageLog log;
    QByteArray response;
    // Discovery's own probe of a port it could not open is not worth a line; anything else is.
    QVERIFY(!closed->sendRequest("ID\r", response));
    QVERIFY(log.lines().isEmpty());
    QVERIFY(!closed->sendRequest("G 3\r", response));
    QVERIFY(log.contains("Port closed!"));
    QVERIFY(response.isEmpty());

    int master = -1, slave = -1;
    char name[256] = {};
    QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
    QScopedPointer<SerialPortDriver> driver(driverFor(QString::fromLocal8Bit(name)));
    QVERIFY(driver->open());
    ::close(slave);
    ::close(master);  // the other side is gone: the terminal reports hang-up from now on
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    QVERIFY(!driver->sendRequest("A\r", response));
    const double cpu = cpuSeconds() - cpuBefore;
    // Every wait is slept out, so the request costs about what a silent one does, not a busy loop.
    QVERIFY2(clock.elapsed() >= 1000 && cpu < 0.25 * clock.elapsed() / 1000.0,
             qPrintable(QString("%1 s CPU over %2 ms").arg(cpu).arg(clock.elapsed())));
    QVERIFY(response.isEmpty());
}

// The answers to a request that gave up come during the next one: they are dropped, never taken
// for its answer, and it still gets its own.
void TestDeviceAccess::lateRepliesAreDropped()
{
    SimProcess sim;
    QVERIFY(sim.start({"--fast", "--late", "G 385=1700", SimProcess::sensorFile("01-lls.json")}));
    QScopedPointer<SerialPortDriver> driver(driverFor(sim.port(0)));
    QVERIFY(driver->open());
    QByteArray response;
    QVERIFY(!driver->sendRequest("G 385\r", response));
    QVERIFY(driver->sendRequest("G 386\r", response));
    QVERIFY2(response.startsWith("G 386\r\n"), qPrintable(TraceLog::escaped(response)));
}

void TestDeviceAccess::noRequestsOnceInterrupted()
{
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", "silent"}));
    const QString path = sim.port(0);
    qint64 firstMs = -1;
    bool second = true;
    QScopedPointer<QThread> worker(QThread::create([&] {
        QScopedPointer<SerialPortDriver> driver(driverFor(path));
        driver->open();
        QByteArray response;
        QElapsedTimer clock;
        clock.start();
        driver->sendRequest("G 3\r", response);
        firstMs = clock.elapsed();
        second = driver->sendRequest("G 4\r", response);
    }));
    worker->start();
    // Interrupted as soon as the first request is on the line, well inside its 500 ms wait: a fixed
    // pause here can outlast that wait when the machine is busy.
    QCOMPARE(sim.commandsSeen(path, 1, 5000), 1);
    worker->requestInterruption();
    QVERIFY(worker->wait(5000));
    // The attempt under way ends its wait; no other attempt and no other request follow.
    QVERIFY2(firstMs < 1000, qPrintable(QString::number(firstMs)));
    QVERIFY(!second);
    QTest::qWait(200);
    QCOMPARE(sim.commandsSeen(path), 1);
}

// While watching, a sensor that comes is probed and listed without a word to the one already
// listed; one that goes stays listed with its device, marked gone.
void TestDeviceAccess::portsComeAndGo()
{
    SimProcess sim;
    const QString lls = SimProcess::sensorFile("01-lls.json");
    QVERIFY(sim.start({"--verbose", lls, lls}));
    QTemporaryDir dir;
    const QString link = dir.filePath("adapter");
    SerialPortDriver::setPortList({});  // only the extra ports: a real ttyS0 would cost a silent probe
    qputenv("PELLORA_EXTRA_PORTS", (sim.port(0) + ',' + link).toLocal8Bit());
    auto *catalogue = new DeviceCatalogue;
    QVERIFY(catalogue->load(PELLORA_CATALOGUE_PATH));
    DeviceManager manager(nullptr, catalogue);
    manager.scanDevices();
    // The link is not there yet: not even a port that cannot be opened.
    QCOMPARE(manager.portReports().size(), 1);
    const int heard = sim.commandsSeen(sim.port(0), 1, 1000);
    AbstractDevice *first = manager.devices().value(0);
    QSignalSpy changed(&manager, &DeviceManager::PortsChanged);
    manager.setWatching(true);
    QVERIFY(QFile::link(sim.port(1), link));
    QVERIFY(changed.wait(2000));
    QCOMPARE(manager.devices().size(), 2);
    AbstractDevice *later = manager.devices().at(1);
    QCOMPARE(later->interfaceDriver()->name(), link);
    QVERIFY(QFile::remove(link));
    QVERIFY(changed.wait(2000));
    const QVector<PortReport> reports = manager.portReports();
    QCOMPARE(reports.size(), 2);
    QVERIFY(!reports.first().gone);
    QCOMPARE(reports.last().text(), link + ": LLS Level Probe (port gone)");
    QCOMPARE(manager.devices(), QList<AbstractDevice *>({first, later}));
    QCOMPARE(later->name(), QString("LLS Level Probe"));
    QCOMPARE(sim.commandsSeen(sim.port(0)), heard);
    qunsetenv("PELLORA_EXTRA_PORTS");
}

void TestDeviceAccess::creation_data()
{
    QTest::addColumn<bool>("answered");     // what sendRequest("ID\r") returned
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("probe");  // the port's answer to the bootloader's wake-up bytes
    QTest::addColumn<QString>("device");    // class, name, type and identity of the device created; else the report's detail
    QTest::addColumn<int>("outcome");

    auto row = [](const char *name, bool answered, const QByteArray &reply, const QString &device, PortReport::Outcome outcome,
                  const QByteArray &probe = {}) { QTest::newRow(name) << answered << reply << probe << device << int(outcome); };
    // A level sensor gives its ID and firmware in hex.
    row("level sensor", true, LevelPrefix + "11,2,>", "LLSDevice|Later|ILS|17 2 000000", PortReport::Sensor);
    row("level: worked example", true, LevelPrefix + "0A1F,0102,\r\n>", "ID 2591, firmware 258", PortReport::NotInCatalogue);
    row("level: not hex", true, LevelPrefix + "XYZ,12,>", "ID 0, firmware 18", PortReport::NotInCatalogue);
    row("level answer, catalogued as a position sensor", true, LevelPrefix + "5,1,>", "ID 5, firmware 1", PortReport::NotInCatalogue);
    row("level: second field unterminated", true, LevelPrefix + "0A1F,0102>", "", PortReport::NotASensor);
    row("level: no echo", true, "\r\x02I,0A1F,0102,>", "", PortReport::NotASensor);
    // A position answer makes a position device whatever type the catalogue gives.
    row("position sensor", true, "ID\r\n123 1.4 456789\r\n>", "NCPSDevice|Finder|LLS|123 1.4 456789", PortReport::Sensor);
    row("position sensor catalogued without a name", true, "ID\r\n6 2.0 1\r\n>", "NCPSDevice|Uncatalogued NCPS Device [6]||6 2.0 1",
        PortReport::Sensor);
    row("position: firmware without a dot", true, "ID\r\n123 14 456789\r\n>", "", PortReport::NotASensor);
    row("position: missing echo", true, "123 1.4 456789\r\n>", "", PortReport::NotASensor);
    // "I," decides the family: a position-like answer holding it is judged as a level sensor.
    row("position answer holding I,", true, "ID\r\n123 1.4 456789 I,\r\n>", "", PortReport::NotASensor);
    row("request failed", false, LevelPrefix + "11,2,>", "", PortReport::NoAnswer);
    // Bytes without a prompt: the wake-up probe; a banner with '*' is a bootloader.
    row("bootloader", true, {}, "", PortReport::Bootloader, "\r\nboot*loader\r\n>");
    row("probe answered without a banner", true, {}, "", PortReport::NotASensor, "nothing>");
    row("silent port: no probe", false, {}, "", PortReport::NoAnswer, "\r\nboot*loader\r\n>");
    row("unknown answer: no probe", true, "?!>", "", PortReport::NotASensor, "\r\nboot*loader\r\n>");
}

void TestDeviceAccess::creation()
{
    QFETCH(bool, answered);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, probe);
    auto *driver = new ScriptedDriver;
    bool driverDeleted = false;
    driver->destroyedFlag = &driverDeleted;
    if (!probe.isEmpty())
        driver->setReply(Boot, probe);
    PortReport report;
    QScopedPointer<AbstractDevice> created(createDevice(driver, answered, reply, m_catalogue, &report));
    QTEST(created ? QStringList({created->metaObject()->className(), created->name(), created->deviceType(),
                                 created->deviceId() + " " + created->firmwareVersion() + " " + created->serialNumber()}).join('|')
                  : report.detail, "device");
    QTEST(int(report.outcome), "outcome");
    // Only a port that answered bytes without a prompt gets the probe.
    QCOMPARE(driver->requests, answered && reply.isEmpty() ? QByteArrayList{Boot} : QByteArrayList{});
    if (!created) {
        delete driver;
        return;
    }
    QCOMPARE(created->interfaceDriver(), driver);
    created.reset();
    QVERIFY2(driverDeleted, "the device owns its protocol and driver");
}

void TestDeviceAccess::lookup_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("entry");  // name, type, options and constant properties; empty if none
    QTest::newRow("firmware in a list") << "17" << "1" << "First|LLS|tankProfile;dac12bit|";
    QTest::newRow("entry without a list ends the search") << "5" << "9" << "Any firmware|Slimfin||";
    QTest::newRow("firmware in no list") << "17" << "3" << "";
    QTest::newRow("IDs compare as text") << "017" << "2" << "";
}

void TestDeviceAccess::lookup()
{
    QFETCH(QString, id);
    QFETCH(QString, firmware);
    QFETCH(QString, entry);
    CatalogueEntry found{"stale", "stale", "stale", "stale", "stale", "stale"};
    QCOMPARE(m_catalogue.lookup(found, {id, firmware, "000000"}), !entry.isEmpty());
    // No match clears what identifies an entry.
    if (entry.isEmpty())
        QCOMPARE(found.ID + found.Name + found.DeviceType + found.ConstantProperties, QString());
    else
        QCOMPARE(QStringList({found.Name, found.DeviceType, found.Options, found.ConstantProperties}).join('|'), entry);
}

QTEST_MAIN(TestDeviceAccess)
#include "tst_deviceaccess.moc"
