// The level sensor command set on the wire: exact bytes of both variants and their reply parsing.
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "messagelog.h"
#include "scripteddriver.h"

#include <QtTest>

namespace {

QByteArray framed(const QByteArray &command, const QByteArray &payload)
{
    QByteArray echo = command;
    echo.chop(1);
    return echo + "\r\n\r\x02" + payload + "\r\n>";
}

// Every command answered with an acknowledgement holding the echo, as a sensor does.
void acknowledgeEverything(ScriptedDriver *driver)
{
    driver->responder = [](const QByteArray &request, QByteArray &response) {
        response = framed(request, request.left(1) + ",");
        return true;
    };
}

}

class TestLLSProtocol : public QObject
{
    Q_OBJECT

private slots:
    void commandTexts_data();
    void commandTexts();
    void outOfRangeArgumentsSendNothing();
    void readRegisterParsing_data();
    void readRegisterParsing();
    void writeErrorsAndUnsafeValues();
    void plainMeasurement_data();
    void plainMeasurement();
    void industrialLockOrdering();
    void industrialMeasurement();
    void isAlphaNumQByte_data();
    void isAlphaNumQByte();
    void protocolDeletesDriver();
};

using Operation = std::function<void(AbstractLLSProtocol *)>;
Q_DECLARE_METATYPE(Operation)

void TestLLSProtocol::commandTexts_data()
{
    QTest::addColumn<bool>("industrial");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray unlock = "U 3C7E\r";
    struct Row {
        const char *name;
        Operation op;
        QByteArray plain;
        QByteArrayList industrial;
    };
    const QList<Row> rows = {
        {"read 19", [](AbstractLLSProtocol *p) { p->ReadRegister(19); }, "G 13\r", {unlock, "G 13\r"}},
        {"read 1984", [](AbstractLLSProtocol *p) { p->ReadRegister(1984); }, "G 7C0\r", {unlock, "G 7C0\r"}},
        {"write 903 3ff", [](AbstractLLSProtocol *p) { p->WriteRegister(903, "3ff"); }, "S 387 3ff\r", {unlock, "S 387 3FF\r"}},
        {"write negative", [](AbstractLLSProtocol *p) { p->WriteRegister(908, "ffffffcd"); }, "S 38C ffffffcd\r", {unlock, "S 38C FFFFFFCD\r"}},
        {"select 0", [](AbstractLLSProtocol *p) { p->SelectLiquid(0); }, "B 1\r", {"B 1\r"}},
        {"select 19", [](AbstractLLSProtocol *p) { p->SelectLiquid(19); }, "B 14\r", {"B 14\r"}},
        {"fixed 1023", [](AbstractLLSProtocol *p) { p->SetFixedOutput(1023); }, "F 3FF\r", {unlock, "F 3FF\r"}},
        {"fixed 0", [](AbstractLLSProtocol *p) { p->SetFixedOutput(0); }, "F 0\r", {unlock, "F 0\r"}},
        {"mode on", [](AbstractLLSProtocol *p) { p->SetMeasuringMode(true); }, "M 0\r", {unlock, "M 0\r"}},
        {"mode off", [](AbstractLLSProtocol *p) { p->SetMeasuringMode(false); }, "M 1\r", {unlock, "M 1\r"}},
        {"commit", [](AbstractLLSProtocol *p) { p->Commit(); }, "Z 0\r", {unlock, "Z 0\r"}},
        // A new industrial protocol believes the sensor locked: measuring needs no lock command.
        {"measure", [](AbstractLLSProtocol *p) { p->ReadMeasurement(); }, "A\r", {"A\r"}},
    };
    for (const Row &row : rows) {
        QTest::addRow("plain %s", row.name) << false << row.op << QByteArrayList{row.plain};
        QTest::addRow("industrial %s", row.name) << true << row.op << row.industrial;
    }
}

void TestLLSProtocol::commandTexts()
{
    QFETCH(bool, industrial);
    QFETCH(Operation, operation);
    QFETCH(QByteArrayList, expected);
    auto *driver = new ScriptedDriver;
    acknowledgeEverything(driver);
    QScopedPointer<AbstractLLSProtocol> protocol(industrial ? static_cast<AbstractLLSProtocol *>(new IndustrialLevelSensorProtocol(driver))
                                                            : new LiquidLevelSensorProtocol(driver));
    MessageLog log;
    operation(protocol.data());
    QCOMPARE(driver->requests, expected);
}

void TestLLSProtocol::outOfRangeArgumentsSendNothing()
{
    for (bool industrial : {false, true}) {
        auto *driver = new ScriptedDriver;
        acknowledgeEverything(driver);
        QScopedPointer<AbstractLLSProtocol> protocol(industrial ? static_cast<AbstractLLSProtocol *>(new IndustrialLevelSensorProtocol(driver))
                                                                : new LiquidLevelSensorProtocol(driver));
        protocol->SelectLiquid(20);
        protocol->SelectLiquid(-1);
        const QByteArrayList selects = driver->requests;
        protocol->SetFixedOutput(1024);
        protocol->SetFixedOutput(-5);
        QVERIFY2(selects.isEmpty(), industrial ? "industrial" : "plain");
        // The industrial variant may unlock before a dropped fixed output, but never sends an F.
        for (const QByteArray &request : qAsConst(driver->requests))
            QVERIFY2(!request.startsWith("F"), request.constData());
    }
}

void TestLLSProtocol::readRegisterParsing_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("value") << true << framed("G 13\r", "G,000000E0,") << QByteArray("000000E0");
    QTest::newRow("lower case kept") << true << framed("G 13\r", "G,0000abcd,") << QByteArray("0000abcd");
    QTest::newRow("first eight-char field") << true << framed("G 13\r", "G,13,000000E0,12345678,") << QByteArray("000000E0");
    QTest::newRow("seven chars") << true << framed("G 13\r", "G,00000E0,") << QByteArray();
    QTest::newRow("no closing comma") << true << framed("G 13\r", "G,000000E0") << QByteArray();
    QTest::newRow("empty field") << true << framed("G 13\r", "G,,") << QByteArray();
    QTest::newRow("zero byte cuts the reply") << true << QByteArray("G 13\r\n\r\x02G,\0" "000000E0,\r\n>", 24) << QByteArray();
    QTest::newRow("driver failure") << false << framed("G 13\r", "G,000000E0,") << QByteArray();
}

void TestLLSProtocol::readRegisterParsing()
{
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);
    auto *driver = new ScriptedDriver;
    driver->responder = [&](const QByteArray &, QByteArray &response) {
        response = reply;
        return succeeds;
    };
    LiquidLevelSensorProtocol plain(driver);
    QCOMPARE(plain.ReadRegister(19), expected);
}

void TestLLSProtocol::writeErrorsAndUnsafeValues()
{
    auto *driver = new ScriptedDriver;
    QByteArray reply;
    bool succeeds = true;
    driver->responder = [&](const QByteArray &, QByteArray &response) {
        response = reply;
        return succeeds;
    };
    IndustrialLevelSensorProtocol protocol(driver);
    MessageLog log;

    // The value is logged as the caller gave it, not upper-cased.
    reply = "\r\n>";
    protocol.WriteRegister(903, "3ff");
    QVERIFY(log.contains("Error sending (3ff) at: 903"));
    log.clear();

    succeeds = false;
    protocol.WriteRegister(903, "3ff");
    QVERIFY(!log.contains("Error sending"));

    // Nothing but one to eight hex digits reaches the wire: a value holding a CR would send a
    // second command, a long one would spill past the register.
    succeeds = true;
    driver->requests.clear();
    for (const QByteArray &bad : {QByteArray("1\rS 13 0"), QByteArray("123456789"), QByteArray(""), QByteArray("-5"), QByteArray("12 4")})
        protocol.WriteRegister(19, bad);
    QVERIFY(driver->requests.isEmpty());
    QVERIFY(log.contains("Refusing to write"));
}

void TestLLSProtocol::plainMeasurement_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<float>("status");
    QTest::addColumn<float>("level");
    QTest::addColumn<float>("internal");
    QTest::addColumn<float>("external");

    QTest::newRow("fields") << framed("A\r", "A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,D,") << 0.f << 511.f << 20.f << 22.5f;
    QTest::newRow("status bits") << framed("A\r", "A,108,3FF,0,0,0,0,0,0,0,0,0,0,0,") << 264.f << 1023.f << 0.f << 0.f;
    QTest::newRow("top bit unsigned") << framed("A\r", "A,80000000,0,0,0,0,0,0,0,0,0,0,0,0,") << 2147483648.f << 0.f << 0.f << 0.f;
    QTest::newRow("twelve fields") << framed("A\r", "A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,") << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("no echo") << QByteArray("\x02" "A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,D,\r\n>") << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("not hex") << framed("A\r", "A,0,XYZ,3,4,5,A0,7,B4,9,A,B,C,D,") << 0.f << 0.f << 20.f << 22.5f;
    QTest::newRow("empty") << QByteArray() << 0.f << 0.f << 0.f << 0.f;
}

void TestLLSProtocol::plainMeasurement()
{
    QFETCH(QByteArray, reply);
    auto *driver = new ScriptedDriver;
    driver->setReply("A\r", reply);
    LiquidLevelSensorProtocol protocol(driver);
    const LevelSensorData data = protocol.ReadMeasurement();
    QTEST(data.status, "status");
    QTEST(data.level, "level");
    QTEST(data.internalTemperature, "internal");
    QTEST(data.externalTemperature, "external");
    QCOMPARE(data.output, 0.f);
    QCOMPARE(data.readError, false);
}

void TestLLSProtocol::industrialLockOrdering()
{
    auto *driver = new ScriptedDriver;
    acknowledgeEverything(driver);
    IndustrialLevelSensorProtocol protocol(driver);
    QVERIFY(protocol.isLocked());

    protocol.SelectLiquid(0);  // no unlock for B, state untouched
    protocol.ReadRegister(19);
    protocol.ReadRegister(20);
    protocol.WriteRegister(903, "3ff");
    protocol.ReadMeasurement();
    protocol.ReadMeasurement();
    protocol.SelectLiquid(1);  // still locked after measuring
    protocol.Commit();
    protocol.SetFixedOutput(5);
    protocol.ReadMeasurement();
    QCOMPARE(driver->requests, (QByteArrayList{"B 1\r", "U 3C7E\r", "G 13\r", "G 14\r", "S 387 3FF\r", "U 0\r", "A\r", "A\r",
                                               "B 2\r", "U 3C7E\r", "Z 0\r", "F 5\r", "U 0\r", "A\r"}));

    // The flag follows what was sent even when the sensor stays silent.
    auto *silent = new ScriptedDriver;
    IndustrialLevelSensorProtocol quiet(silent);
    QCOMPARE(quiet.ReadRegister(3), QByteArray());
    QCOMPARE(quiet.ReadRegister(3), QByteArray());
    QCOMPARE(silent->requests, (QByteArrayList{"U 3C7E\r", "G 3\r", "G 3\r"}));
}

void TestLLSProtocol::industrialMeasurement()
{
    auto *driver = new ScriptedDriver;
    QByteArray reply;
    driver->responder = [&](const QByteArray &, QByteArray &response) {
        response = reply;
        return true;
    };
    IndustrialLevelSensorProtocol protocol(driver);
    MessageLog log;

    reply = framed("A\r", "A,0,1FF,3FF,A0,");
    LevelSensorData data = protocol.ReadMeasurement();
    QCOMPARE(data.status, 0.f);
    QCOMPARE(data.level, 511.f);
    QCOMPARE(data.output, 1023.f);
    QCOMPARE(data.internalTemperature, 20.f);
    QCOMPARE(data.externalTemperature, 0.f);
    QCOMPARE(data.readError, false);

    reply = framed("A\r", "A,8,20,30,A8,7,B4,9,A,B,C,D,E,F,");
    data = protocol.ReadMeasurement();
    QCOMPARE(data.readError, false);
    QCOMPARE(data.status, 8.f);
    QCOMPARE(data.output, 48.f);
    QCOMPARE(data.internalTemperature, 21.f);

    // A locked sensor's answer and an empty reply are both unreadable.
    for (const QByteArray &bad : {framed("A\r", "A,,"), framed("A\r", "A,0,1FF,3FF,"), QByteArray()}) {
        log.clear();
        reply = bad;
        data = protocol.ReadMeasurement();
        QVERIFY(data.readError);
        QCOMPARE(data.level, 0.f);
        QCOMPARE(data.status, 0.f);
        QVERIFY(log.contains("Error reading data:"));
    }
}

void TestLLSProtocol::isAlphaNumQByte_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("rejectAllSpaces");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("sizeMessage");

    QTest::newRow("Dies") << QByteArray("44696573") << true << true << false;
    QTest::newRow("lower-case digits") << QByteArray("6c2d6f7e") << true << true << false;
    QTest::newRow("inner space") << QByteArray("44202020") << true << true << false;
    QTest::newRow("spaces rejected") << QByteArray("20202020") << true << false << false;
    QTest::newRow("spaces accepted") << QByteArray("20202020") << false << true << false;
    QTest::newRow("zeros") << QByteArray("00000000") << false << false << false;
    QTest::newRow("name end") << QByteArray("656C0000") << true << false << false;
    QTest::newRow("DEL") << QByteArray("4469737F") << true << false << false;
    QTest::newRow("high byte") << QByteArray("446973A0") << true << false << false;
    QTest::newRow("not hex") << QByteArray("4469ZZ73") << true << false << false;
    QTest::newRow("empty") << QByteArray() << true << false << false;
    QTest::newRow("six digits") << QByteArray("446965") << true << false << true;
    QTest::newRow("ten digits") << QByteArray("4469657320") << false << false << true;
}

void TestLLSProtocol::isAlphaNumQByte()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, rejectAllSpaces);
    MessageLog log;
    QTEST(AbstractLLSProtocol::IsAlphaNumQByte(value, rejectAllSpaces), "expected");
    const QString message = "AbstractLLSProtocol::IsAlphaNumQByte: arg \"qByte\"= " + QString::fromLatin1(value)
        + " doesn't have the correct size!";
    QTEST(log.lines().contains(message), "sizeMessage");
}

void TestLLSProtocol::protocolDeletesDriver()
{
    bool gone = false;
    auto *driver = new ScriptedDriver;
    driver->destroyedFlag = &gone;
    {
        IndustrialLevelSensorProtocol protocol(driver);
        QCOMPARE(protocol.Driver(), static_cast<AbstractInterfaceDriver *>(driver));
    }
    QVERIFY(gone);
}

QTEST_GUILESS_MAIN(TestLLSProtocol)
#include "tst_llsprotocol.moc"
