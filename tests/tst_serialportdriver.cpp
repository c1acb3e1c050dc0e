// The real serial transport over pseudo-terminals, against pellora-sim.
#include "device/serialportdriver.h"
#include "messagelog.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

SerialPortDriver *driverFor(const QString &path)
{
    auto *port = new QSerialPort;
    SerialPortDriver::applyLineSettings(port);
    port->setPortName(path);
    return new SerialPortDriver(port);
}

QString script(const QJsonArray &replies, int chunkGapMs = 0)
{
    QJsonObject o{{"kind", "script"}, {"name", "script"}, {"replies", replies}, {"paced", false},
                  {"answerDelayMs", 2}, {"chunkGapMs", chunkGapMs}};
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QJsonObject reply(const QString &command, const QStringList &pieces)
{
    return QJsonObject{{"command", command}, {"pieces", QJsonArray::fromStringList(pieces)}};
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class ErrorReceiver : public QObject
{
    Q_OBJECT
public:
    QStringList errors;
public slots:
    void onInterfaceError(const QString &errorMSG) { errors.append(errorMSG); }
};

}

class TestSerialPortDriver : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void silentPortCostsThreeAttemptsAndSleeps();
    void closedPort();
    void hungUpPortNeitherCrashesNorSpins();
    void stalledWriteEmitsErrorToHandler();
    void noRequestsOnceInterrupted();
    void extraPortsListingAndExclusion();
};

void TestSerialPortDriver::replies_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("response");  // empty: the caller's buffer is left as it was
    QTest::addColumn<int>("writes");
    const QString whole = "X\r\n\r\x02X,00000001,\r\n>";
    const QString chunked = "C\r\n\r\x02C,12345678,ABCDEF01,\r\n>";
    QStringList big;
    for (int i = 0; i < 7; ++i)
        big.append(QString(100, QChar('a' + i)));
    QTest::newRow("one piece ending in the prompt") << "X\r" << QStringList{whole} << 0 << true << whole << 1;
    QTest::newRow("pieces joined") << "C\r" << QStringList{chunked.left(7), chunked.mid(7, 9), chunked.mid(16)}
                                   << 20 << true << chunked << 1;
    // Bytes came but never a final prompt: true, three attempts, buffer untouched.
    QTest::newRow("prompt inside, not last") << "P\r" << QStringList{"P\r\n>still talking"} << 0 << true << QString() << 3;
    QTest::newRow("commit needs no prompt") << "Z 0\r" << QStringList{"Z 0\r\n\r\x02Z,"} << 0 << true
                                            << "Z 0\r\n\r\x02Z," << 1;
    QTest::newRow("past 500 bytes") << "BIG\r" << big << 10 << false << QString() << 1;
    // A byte every 25 ms without a prompt would reach the size guard after 12 s.
    QTest::newRow("trickle without a prompt") << "T\r" << QString(600, 'x').split("", Qt::SkipEmptyParts) << 25 << false
                                              << QString() << 1;
}

void TestSerialPortDriver::replies()
{
    QFETCH(QString, command);
    QFETCH(QStringList, pieces);
    QFETCH(int, gapMs);
    QFETCH(bool, result);
    QFETCH(QString, response);
    QFETCH(int, writes);
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", script({reply(command, pieces)}, gapMs)}));
    QScopedPointer<SerialPortDriver> driver(driverFor(sim.port(0)));
    QVERIFY(driver->open());
    MessageLog log;
    QByteArray buffer("untouched");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(driver->sendRequest(command.toLatin1(), buffer), result);
    QCOMPARE(buffer, response.isEmpty() ? QByteArray("untouched") : response.toLatin1());
    // The first piece is not checked for the prompt: one more quiet wait follows it.
    if (pieces.size() == 1 && pieces.first().endsWith('>'))
        QVERIFY2(clock.elapsed() >= 45, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(log.contains("responseData.size()>500"), command == "BIG\r");
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(100);
    QCOMPARE(sim.commandsSeen(sim.port(0), 0, 0), writes);
}

void TestSerialPortDriver::silentPortCostsThreeAttemptsAndSleeps()
{
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", "silent"}));
    QScopedPointer<SerialPortDriver> driver(driverFor(sim.port(0)));
    QVERIFY(driver->open());
    QByteArray response;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    QVERIFY(!driver->sendRequest("G 13\r", response));
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 wall = clock.elapsed();
    qInfo("silent request: %lld ms wall, %.3f s CPU", wall, cpu);
    QVERIFY(response.isEmpty());
    QVERIFY2(wall >= 1450 && wall < 3000, qPrintable(QString::number(wall)));
    QVERIFY2(cpu < 0.25 * wall / 1000.0, qPrintable(QString("cpu %1 s over %2 ms").arg(cpu).arg(wall)));
    QCOMPARE(sim.commandsSeen(sim.port(0), 3, 1000), 3);
}

void TestSerialPortDriver::closedPort()
{
    QScopedPointer<SerialPortDriver> driver(driverFor("/dev/pts/does-not-exist"));
    QVERIFY(!driver->open());
    MessageLog log;
    QByteArray response;
    QVERIFY(!driver->sendRequest("ID\r", response));
    QVERIFY(log.lines().isEmpty());
    QVERIFY(!driver->sendRequest("G 3\r", response));
    QVERIFY(log.contains("Port closed!"));
    QVERIFY(response.isEmpty());
}

void TestSerialPortDriver::hungUpPortNeitherCrashesNorSpins()
{
    int master = -1, slave = -1;
    char name[256] = {};
    QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
    QScopedPointer<SerialPortDriver> driver(driverFor(QString::fromLocal8Bit(name)));
    QVERIFY(driver->open());
    ::close(slave);
    ::close(master);  // the other side is gone: the terminal reports hang-up from now on

    ErrorReceiver receiver;
    driver->connectErrorHandler(&receiver);
    QByteArray response;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    QVERIFY(!driver->sendRequest("A\r", response));
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 wall = clock.elapsed();
    qInfo("hung-up port: %lld ms wall, %.3f s CPU", wall, cpu);
    QVERIFY(response.isEmpty());
    // Every wait is slept out, so the request costs about what a silent one does, not a busy loop.
    QVERIFY2(wall >= 1000, qPrintable(QString::number(wall)));
    QVERIFY2(cpu < 0.25 * wall / 1000.0, qPrintable(QString("cpu %1 s over %2 ms").arg(cpu).arg(wall)));
    driver->close();
}

void TestSerialPortDriver::stalledWriteEmitsErrorToHandler()
{
    SimProcess sim;
    QVERIFY(sim.start({"stalled"}));
    QScopedPointer<SerialPortDriver> driver(driverFor(sim.port(0)));
    QVERIFY(driver->open());

    QObject noHandler;
    QVERIFY(!driver->connectErrorHandler(&noHandler));
    QVERIFY(!driver->connectErrorHandler(nullptr));
    ErrorReceiver receiver;
    QVERIFY(driver->connectErrorHandler(&receiver));

    // Fill the terminal until writes can no longer drain.
    QByteArray response;
    QByteArray big(8192, 'x');
    big.append('\r');
    MessageLog log;
    QVERIFY(!driver->sendRequest(big, response));
    QCOMPARE(receiver.errors.size(), 3);
    QCOMPARE(receiver.errors.first(), QString("writeRequestTimeout"));
    QVERIFY(!driver->sendRequest(big, response));
    // What a failed attempt left unsent is discarded: the backlog never grows.
    QList<int> waiting;
    for (const QString &line : log.lines().filter("Wait write request timeout:"))
        waiting.append(line.section(' ', -1).toInt());
    QCOMPARE(waiting.size(), 6);
    QVERIFY2(*std::max_element(waiting.begin(), waiting.end()) <= waiting.first(), qPrintable(log.lines().join('\n')));
}

void TestSerialPortDriver::noRequestsOnceInterrupted()
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
    QTest::qWait(200);
    worker->requestInterruption();
    QVERIFY(worker->wait(5000));
    // The attempt under way ends its wait; no other attempt and no other request follow.
    QVERIFY2(firstMs < 1000, qPrintable(QString::number(firstMs)));
    QVERIFY(!second);
    QTest::qWait(200);
    QCOMPARE(sim.commandsSeen(path), 1);
}

void TestSerialPortDriver::extraPortsListingAndExclusion()
{
    QVERIFY(SerialPortDriver::isExcludedPortName("LPT1"));
    QVERIFY(SerialPortDriver::isExcludedPortName("LPT12"));
    QVERIFY(SerialPortDriver::isExcludedPortName("myLPT3port"));  // the pattern is not anchored
    QVERIFY(!SerialPortDriver::isExcludedPortName("LPT0"));
    QVERIFY(!SerialPortDriver::isExcludedPortName("COM3"));
    QVERIFY(!SerialPortDriver::isExcludedPortName("lpt1"));

    qputenv("PELLORA_EXTRA_PORTS", "/dev/pts/91,/dev/LPT1,,/tmp/LPT12,/dev/pts/90, /dev/ttyFAKE3");
    const QVector<AbstractInterfaceDriver *> drivers = SerialPortDriver::availableInterfaces();
    qunsetenv("PELLORA_EXTRA_PORTS");
    QStringList names;
    for (AbstractInterfaceDriver *d : drivers) {
        QCOMPARE(d->type(), QString("serialport"));
        names.append(d->name());
    }
    qDeleteAll(drivers);
    QStringList tail = names.mid(names.size() - 3);
    QCOMPARE(tail, QStringList({"pts/91", "pts/90", "ttyFAKE3"}));
    QVERIFY(!names.join(',').contains("LPT"));
}

QTEST_GUILESS_MAIN(TestSerialPortDriver)
#include "tst_serialportdriver.moc"
