// The level sensor command set on the wire: exact bytes of both variants and their reply parsing.
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "messagelog.h"
#include "scripteddriver.h"

#include <QtTest>

namespace {

QByteArray framed(const QByteArray &command, const QByteArray &payload)
{
    return command.left(command.size() - 1) + "\r\n\r\x02" + payload + "\r\n>";
}

// A protocol on a driver that gives every request `reply` (or, if empty, an acknowledgement holding the echo).
AbstractLLSProtocol *protocolOn(ScriptedDriver *driver, bool industrial, const QByteArray &reply = {}, bool succeeds = true)
{
    driver->responder = [reply, succeeds](const QByteArray &request, QByteArray &response) {
        response = reply.isEmpty() ? framed(request, request.left(1) + ",") : reply;
        return succeeds;
    };
    if (industrial)
        return new IndustrialLevelSensorProtocol(driver);
    return new LiquidLevelSensorProtocol(driver);
}

}

using Operation = std::function<void(AbstractLLSProtocol *)>;
Q_DECLARE_METATYPE(Operation)

class TestLLSProtocol : public QObject
{
    Q_OBJECT

private slots:
    void commandTexts_data();
    void commandTexts();
    void readRegisterParsing_data();
    void readRegisterParsing();
    void measurement_data();
    void measurement();
    void industrialLockOrdering();
    void isAlphaNumQByte_data();
    void isAlphaNumQByte();
};

void TestLLSProtocol::commandTexts_data()
{
    QTest::addColumn<bool>("industrial");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray unlock = "U 3C7E\r";
    auto rows = [&](const char *name, Operation op, const QByteArrayList &plain, const QByteArrayList &industrial) {
        QTest::addRow("plain %s", name) << false << op << plain;
        QTest::addRow("industrial %s", name) << true << op << industrial;
    };
    rows("read 1984", [](AbstractLLSProtocol *p) { p->ReadRegister(1984); }, {"G 7C0\r"}, {unlock, "G 7C0\r"});
    rows("write 903 3ff", [](AbstractLLSProtocol *p) { p->WriteRegister(903, "3ff"); }, {"S 387 3ff\r"}, {unlock, "S 387 3FF\r"});
    // Nothing but one to eight hex digits reaches the wire: a value holding a CR would send a
    // second command, a long one would spill past the register.
    for (const char *bad : {"1\rS 13 0", "123456789", "", "-5"})
        rows(qPrintable(QStringLiteral("write \"%1\"").arg(bad).replace('\r', "\\r")), [bad](AbstractLLSProtocol *p) { p->WriteRegister(19, bad); }, {},
             {unlock});
    rows("select 0", [](AbstractLLSProtocol *p) { p->SelectLiquid(0); }, {"B 1\r"}, {"B 1\r"});
    rows("select 19", [](AbstractLLSProtocol *p) { p->SelectLiquid(19); }, {"B 14\r"}, {"B 14\r"});
    rows("select 20", [](AbstractLLSProtocol *p) { p->SelectLiquid(20); }, {}, {});
    rows("fixed 1023", [](AbstractLLSProtocol *p) { p->SetFixedOutput(1023); }, {"F 3FF\r"}, {unlock, "F 3FF\r"});
    rows("fixed 1024", [](AbstractLLSProtocol *p) { p->SetFixedOutput(1024); }, {}, {unlock});
    rows("mode on", [](AbstractLLSProtocol *p) { p->SetMeasuringMode(true); }, {"M 0\r"}, {unlock, "M 0\r"});
    rows("mode off", [](AbstractLLSProtocol *p) { p->SetMeasuringMode(false); }, {"M 1\r"}, {unlock, "M 1\r"});
    rows("commit", [](AbstractLLSProtocol *p) { p->Commit(); }, {"Z 0\r"}, {unlock, "Z 0\r"});
    // A new industrial protocol takes the sensor as locked: measuring needs no lock command.
    rows("measure", [](AbstractLLSProtocol *p) { p->ReadMeasurement(); }, {"A\r"}, {"A\r"});
}

void TestLLSProtocol::commandTexts()
{
    QFETCH(bool, industrial);
    QFETCH(Operation, operation);
    auto *driver = new ScriptedDriver;
    bool driverDeleted = false;
    driver->destroyedFlag = &driverDeleted;
    QScopedPointer<AbstractLLSProtocol> protocol(protocolOn(driver, industrial));
    MessageLog log;
    operation(protocol.data());
    QTEST(driver->requests, "expected");
    protocol.reset();
    QVERIFY(driverDeleted);
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
    QScopedPointer<AbstractLLSProtocol> protocol(protocolOn(new ScriptedDriver, false, reply, succeeds));
    QTEST(protocol->ReadRegister(19), "expected");
}

void TestLLSProtocol::measurement_data()
{
    QTest::addColumn<bool>("industrial");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<float>>("fields");  // status, level, output, internal and external temperature
    QTest::addColumn<bool>("readError");

    using L = QList<float>;
    QTest::newRow("plain") << false << framed("A\r", "A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,D,") << L{0, 511, 0, 20, 22.5f} << false;
    QTest::newRow("plain, top bit unsigned") << false << framed("A\r", "A,80000000,0,0,0,0,0,0,0,0,0,0,0,0,") << L{2147483648.f, 0, 0, 0, 0} << false;
    QTest::newRow("plain, twelve fields") << false << framed("A\r", "A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,") << L{0, 0, 0, 0, 0} << true;
    QTest::newRow("plain, not hex") << false << framed("A\r", "A,0,XYZ,3,4,5,A0,7,B4,9,A,B,C,D,") << L{0, 0, 0, 20, 22.5f} << false;
    QTest::newRow("industrial") << true << framed("A\r", "A,0,1FF,3FF,A0,") << L{0, 511, 1023, 20, 0} << false;
    QTest::newRow("industrial, more fields") << true << framed("A\r", "A,8,20,30,A8,7,B4,9,A,B,C,D,E,F,") << L{8, 32, 48, 21, 0} << false;
    QTest::newRow("industrial, locked") << true << framed("A\r", "A,,") << L{0, 0, 0, 0, 0} << true;
    QTest::newRow("industrial, nothing") << true << QByteArray("\r\n>") << L{0, 0, 0, 0, 0} << true;
}

void TestLLSProtocol::measurement()
{
    QFETCH(bool, industrial);
    QFETCH(QByteArray, reply);
    QFETCH(QList<float>, fields);
    QFETCH(bool, readError);
    QScopedPointer<AbstractLLSProtocol> protocol(protocolOn(new ScriptedDriver, industrial, reply));
    MessageLog log;
    const LevelSensorData data = protocol->ReadMeasurement();
    QCOMPARE((QList<float>{data.status, data.level, data.output, data.internalTemperature, data.externalTemperature}), fields);
    QCOMPARE(data.readError, readError);
    QCOMPARE(log.contains("Error reading data:"), readError);
}

void TestLLSProtocol::industrialLockOrdering()
{
    auto *driver = new ScriptedDriver;
    QScopedPointer<AbstractLLSProtocol> protocol(protocolOn(driver, true));
    MessageLog log;
    protocol->SelectLiquid(0);  // no unlock for B
    protocol->ReadRegister(19);
    protocol->ReadRegister(20);
    protocol->WriteRegister(903, "3ff");
    protocol->ReadMeasurement();
    protocol->ReadMeasurement();
    protocol->SelectLiquid(1);  // still locked after measuring
    protocol->Commit();
    protocol->SetFixedOutput(5);
    protocol->ReadMeasurement();
    QCOMPARE(driver->requests, (QByteArrayList{"B 1\r", "U 3C7E\r", "G 13\r", "G 14\r", "S 387 3FF\r", "U 0\r", "A\r", "A\r", "B 2\r",
                                               "U 3C7E\r", "Z 0\r", "F 5\r", "U 0\r", "A\r"}));

    // The lock state follows what was sent even when the sensor stays silent.
    auto *silent = new ScriptedDriver;
    IndustrialLevelSensorProtocol quiet(silent);
    QCOMPARE(quiet.ReadRegister(3), QByteArray());
    QCOMPARE(quiet.ReadRegister(3), QByteArray());
    QCOMPARE(silent->requests, (QByteArrayList{"U 3C7E\r", "G 3\r", "G 3\r"}));

    // A write the sensor does not acknowledge is logged with the value as the caller gave it.
    QScopedPointer<AbstractLLSProtocol> unanswered(protocolOn(new ScriptedDriver, true, "\r\n>"));
    unanswered->WriteRegister(903, "3ff");
    QVERIFY(log.contains("Error sending (3ff) at: 903"));
}

void TestLLSProtocol::isAlphaNumQByte_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("rejectAllSpaces");
    QTest::addColumn<bool>("expected");
    QTest::newRow("! and ~, the printable ends") << QByteArray("217E4469") << true << true;
    QTest::newRow("spaces rejected") << QByteArray("20202020") << true << false;
    QTest::newRow("spaces accepted") << QByteArray("20202020") << false << true;
    QTest::newRow("name end") << QByteArray("656C0000") << false << false;
    QTest::newRow("DEL") << QByteArray("4469737F") << true << false;
    QTest::newRow("high byte") << QByteArray("446973A0") << true << false;
    QTest::newRow("not hex") << QByteArray("4469ZZ73") << true << false;
    QTest::newRow("empty") << QByteArray() << true << false;
    QTest::newRow("six digits") << QByteArray("446965") << true << false;
}

void TestLLSProtocol::isAlphaNumQByte()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, rejectAllSpaces);
    QTEST(AbstractLLSProtocol::IsAlphaNumQByte(value, rejectAllSpaces), "expected");
}

QTEST_GUILESS_MAIN(TestLLSProtocol)
#include "tst_llsprotocol.moc"
