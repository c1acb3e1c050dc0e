// The level sensor: both command sets on the wire, the device against a scripted register bank, and
// the arithmetic it rests on. (The real transport and sensors: tst_llsform, through the window.)
#include "lls/device/levelarithmetic.h"
#include "llsrig.h"

#include <QtTest>

#include <limits>

using Registers = QMap<int, quint32>;
using Operation = std::function<void(AbstractLLSProtocol *)>;
Q_DECLARE_METATYPE(Registers)
Q_DECLARE_METATYPE(Operation)

namespace {

QByteArray framed(const QByteArray &command, const QByteArray &payload)
{
    return command.left(command.size() - 1) + "\r\n\r\x02" + payload + "\r\n>";
}

}

class TestLLSDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { LLSDevice::RegisterMetaTypes(); }
    void protocolRequests_data();
    void protocolRequests();
    void registerReplies_data();
    void registerReplies();
    void printableRegisters();
    void load_data();
    void load();
    void namesAndDescription();
    void parameters_data();
    void parameters();
    void sensorLostMidway();
    void tankProfileWrite_data();
    void tankProfileWrite();
    void tankProfileRead();
    void measurement_data();
    void measurement();
    void rounding();
    void percentages_data();
    void percentages();
    void outputValues_data();
    void outputValues();
};

void TestLLSDevice::protocolRequests_data()
{
    QTest::addColumn<bool>("industrial");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("expected");  // joined by "|"
    auto rows = [](const char *name, bool answers, Operation op, const QString &plain, const QString &industrial) {
        QTest::addRow("plain %s", name) << false << answers << op << plain;
        QTest::addRow("industrial %s", name) << true << answers << op << industrial;
    };
    // An industrial sensor starts locked, is unlocked for all but B, locked to measure; values go upper-case.
    rows("sequence", true, [](AbstractLLSProtocol *p) {
        p->SelectLiquid(0); p->ReadRegister(19); p->WriteRegister(903, "3ff"); p->ReadMeasurement(); p->ReadMeasurement();
        p->SelectLiquid(19); p->SetMeasuringMode(false); p->Commit(); p->SetFixedOutput(1023); p->SetMeasuringMode(true); p->ReadMeasurement();
    }, "B 1|G 13|S 387 3ff|A|A|B 14|M 1|Z 0|F 3FF|M 0|A", "B 1|U 3C7E|G 13|S 387 3FF|U 0|A|A|B 14|U 3C7E|M 1|Z 0|F 3FF|M 0|U 0|A");
    // Only one to eight hex digits reach the wire: a CR would send a second command, more digits spill over.
    rows("refused values", true, [](AbstractLLSProtocol *p) {
        for (const char *bad : {"1\rS 13 0", "123456789", "", "-5"})
            p->WriteRegister(19, bad);
        p->SelectLiquid(20); p->SelectLiquid(-1); p->SetFixedOutput(1024); p->SetFixedOutput(-1);
    }, "", "U 3C7E");
    // An unlock that went unanswered may not have reached the sensor: it goes again with the next command.
    rows("silent", false, [](AbstractLLSProtocol *p) { p->ReadRegister(3); p->ReadRegister(3); }, "G 3|G 3", "U 3C7E|G 3|U 3C7E|G 3");
}

void TestLLSDevice::protocolRequests()
{
    QFETCH(bool, industrial);
    QFETCH(bool, answers);
    QFETCH(Operation, operation);
    LLSRig rig(industrial ? "ILS" : "LLS");
    if (!answers)
        rig.driver->responder = nullptr;
    operation(rig.protocol);
    QTEST(QString(rig.driver->requests.join('|')).remove('\r'), "expected");
}

void TestLLSDevice::registerReplies_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("first eight-char field") << true << framed("G 13\r", "G,13,000000E0,12345678,") << QByteArray("000000E0");
    QTest::newRow("seven chars") << true << framed("G 13\r", "G,00000E0,") << QByteArray();
    QTest::newRow("no closing comma") << true << framed("G 13\r", "G,000000E0") << QByteArray();
    QTest::newRow("zero byte cuts the reply") << true << QByteArray("G 13\r\n\r\x02G,\0" "000000E0,\r\n>", 24) << QByteArray();
    QTest::newRow("driver failure") << false << framed("G 13\r", "G,000000E0,") << QByteArray();
}

void TestLLSDevice::registerReplies()
{
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, reply);
    LLSRig rig("LLS");
    rig.driver->responder = [&](const QByteArray &, QByteArray &response) { response = reply; return succeeds; };
    QTEST(rig.protocol->ReadRegister(19), "expected");
}

// What a name register may hold: printable characters, not only spaces.
void TestLLSDevice::printableRegisters()
{
    QVERIFY(AbstractLLSProtocol::IsAlphaNumQByte("217E4469", true));  // ! and ~, the printable ends
    for (const char *refused : {"20202020", "656C0000", "4469737F", "446973A0", "4469ZZ73", "446965"})
        QVERIFY2(!AbstractLLSProtocol::IsAlphaNumQByte(refused, true), refused);
}

void TestLLSDevice::load_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("options");
    QTest::addColumn<quint32>("features");
    QTest::addColumn<Registers>("registers");
    QTest::addColumn<QVariantMap>("fields");
    auto row = [](const char *name, const QString &type, const QString &options, quint32 features, const QVariantMap &fields,
                  const Registers &registers = {}) { QTest::newRow(name) << type << options << features << registers << fields; };
    row("5 V on 10 bit, top bit set", "ILS", "", 0x80000060, {{"type", "5V"}, {"unit", "V"}, {"minCal", 0}, {"maxCal", 5}, {"minLimit", 0.25}, {"maxLimit", 4.75}});
    row("5 V bit on 12 bit", "ILS", "dac12bit", 0x60, {{"type", "10V"}, {"maxCal", 10}, {"maxLimit", 10}});
    row("10 V Murkwell, signed hysteresis", "Murkwell", "", 0x20,
        {{"type", "10V"}, {"maxCal", 11.2}, {"minLimit", 0.25}, {"maxLimit", 10}, {"warning", 512}, {"hysteresis", -51}, {"hysteresisPercent", 4.98534}},
        {{907, 0x200}, {908, 0xFFFFFFCD}});
    row("resistive bit on ILS", "ILS", "", 0x100, {{"type", "mA"}, {"unit", "mA"}, {"minCal", 2}, {"maxCal", 20}, {"minLimit", 4}, {"maxLimit", 20}});
    row("resistive Murkwell", "Murkwell", "", 0x100,
        {{"type", "resistive"}, {"unit", "Ohm"}, {"maxCal", 100}, {"inverted", true}, {"mid", 500}, {"midValue", 48.9}}, {{913, 0}, {916, 0x1F4}});
    row("CAN Murkwell", "Murkwell", "", 0x200, {{"type", "CAN"}, {"unit", "%"}, {"switch", false}, {"nmeaType", 6}, {"nmeaInstance", 15}},
        {{911, 6}, {909, 15}});  // an unlisted fluid type is kept as held
    row("table bit without the option", "Murkwell", "", 0x80, {{"minCal", 0.1}, {"maxCal", 21.1}, {"tankEnabled", true}, {"levels", QStringList()}});
    row("options after an empty first one ignored", "Murkwell", ";tankProfile;noSwitchOutput", 0x80, {{"tankOption", false}, {"switch", true}});
    row("no switch output", "Murkwell", "noSwitchOutput", 0x80, {{"switch", false}});
    row("table bit with the option", "Murkwell", "tankProfile", 0x80, {{"tankEnabled", true}, {"levels", QStringList{"0"}}});
    row("7402-115", "LLS", "", 0x4020, {{"switch", false}, {"valid", false}});
    row("bits 14 and 15", "LLS", "", 0xC020, {{"switch", true}});
    // Which ranges are valid, from 903..906 as read (a value too big for an int reads as 0).
    const QList<QList<quint32>> rangeCases = {{102, 102, 5, 5, true}, {0, 0, 0, 1023, false}, {0, 1024, 0, 1023, false},
                                              {500, 400, 0, 1023, false}, {0, 1023, 600, 500, false}, {0xFFFFFFFF, 1023, 0, 1023, true},
                                              {0, 1023, 0, 4095, true}};
    for (const QList<quint32> &r : rangeCases)
        row(qPrintable(QString::asprintf("ranges %x %x %x %x", r[0], r[1], r[2], r[3])), "ILS", r[3] == 4095 ? "dac12bit" : "", 0x20,
            {{"valid", r[4] == 1}}, {{903, r[0]}, {904, r[1]}, {905, r[2]}, {906, r[3]}});
}

void TestLLSDevice::load()
{
    QFETCH(QString, type);
    QFETCH(QString, options);
    QFETCH(quint32, features);
    LLSRig rig(type, options);
    QFETCH(Registers, registers);
    rig.registers = registers;
    rig.load(features);
    QFETCH(QVariantMap, fields);
    LLS_COMPARE_FIELDS(rig.device, fields);
}

void TestLLSDevice::namesAndDescription()
{
    LLSRig rig("LLS");
    rig.setText(85, "Diesel", 10);
    rig.setText(125, "Heating oil & more, forty characters long", 10);  // cut to 40
    rig.setText(165, "ABCDEFGH    IJKL", 4);                           // ends at the spaces
    rig.setText(205, "Water", 10);
    rig.registers.insert(206, 0x41000000);  // not printable: "Wate" only
    rig.setText(245, "Petrol", 10);
    rig.unreadable.append(246);             // the read fails after "Petr"
    rig.registers.insert(3, 20);            // one past the twentieth liquid: reads as 0
    rig.setText(1984, "Tank 3", 2);
    rig.registers.insert(1985, 0x20330000);  // " 3", then zeros end it

    QSignalSpy loading(&rig.device, &LLSDevice::LoadingMessage);
    QSignalSpy done(&rig.device, &LLSDevice::ParameterUpdate);
    rig.device.ReadParameter();
    QStringList shown;
    for (const QList<QVariant> &args : loading)
        shown << args.at(0).toString().remove("Reading ");
    QCOMPARE(shown.join('|'), QString("Liquid Names|Liquid Names: 0|Liquid Names: 1|Liquid Names: 2|Liquid Names: 3|Liquid Names: 4|"
                                      "Liquid Names: 5|Selected Liquid|Probe Description|Device Features|Ready"));
    QCOMPARE(done.count(), 1);
    QCOMPARE(rig.driver->requests.first(), QByteArray("M 0\r"));
    LLS_COMPARE_FIELDS(rig.device, (QVariantMap{{"names", QStringList{"Diesel  ", "Heating oil & more, forty characters lon", "ABCDEFGH", "Wate", "Petr"}},
                                                {"selected", 0}, {"description", "Tank 3"}, {"valid", false}}));
}

void TestLLSDevice::parameters_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("options");
    QTest::addColumn<quint32>("features");
    QTest::addColumn<int>("featureFault");  // 1: register 19 unreadable, 2: it keeps its value when written
    QTest::addColumn<QString>("param");
    QTest::addColumn<SetParamStruct>("request");
    QTest::addColumn<QString>("wire");  // the requests without the industrial lock commands, joined by "|"
    QTest::addColumn<QVariantMap>("fields");
    auto row = [](const char *name, const QString &type, quint32 features, const QString &param, const SetParamStruct &request,
                  const QString &wire, const QVariantMap &fields = {}, const QString &options = {}, int featureFault = 0) {
        QTest::newRow(name) << type << options << features << featureFault << param << request << wire << fields;
    };
    const QString ranges = "G 387|G 388|G 389|G 38A|G 38B|G 38C";
    const QString tank = "tankProfileEnable";
    const QString range = "outputRange";
    row("liquid 2.5 is the fourth", "LLS", 0, "liquidType", values(2.5f), "B 4|G 3", {{"selected", 3}});
    row("liquid 20 not sent", "LLS", 0, "liquidType", values(20), "G 3");
    row("fixed output truncated", "LLS", 0, "setFixOutputValue", values(512.9f), "F 200");
    row("fixed output ended", "LLS", 0, "disableFixOutput", {}, "M 0|Z 0");
    row("unknown names skipped", "LLS", 0, "liquidType,bogus,,measuringRange", values(3, 90, 7, "x"), "B 4|G 3|S 387 1f|S 388 399|Z 0|" + ranges);
    row("NMEA out of range", "Murkwell", 0x200, "NMEAliquidType", values(6, -1), "G 38F|G 38D");
    row("tank bit: low 16 bits back", "Murkwell", 0xFFFF0020, tank, values(0, 0, 0, "true"), "G 13|S 13 A0|G 13|Z 0", {{"tankEnabled", true}});
    row("tank bit already set", "Murkwell", 0xA0, tank, values(0, 0, 0, "true"), "G 13|Z 0", {{"tankEnabled", true}});
    row("tank bit cleared", "Murkwell", 0xA0, tank, values(0, 0, 0, "yes"), "G 13|S 13 20|G 13|Z 0", {{"tankEnabled", false}});
    row("tank bit, features unreadable", "Murkwell", 0x20, tank, values(0, 0, 0, "true"), "G 13|Z 0", {{"tankEnabled", false}}, {}, 1);
    SetParamStruct refused = profile({"0", "100"}, {"0"});
    refused.text = "true";
    row("table refused: profiling not switched on", "Murkwell", 0x20, "tankProfile," + tank, refused, "", {{"tankEnabled", false}});
    row("12 bit never switches", "ILS", 0x20, range, values(0.5f, 4.5f), "S 389 CD|S 38A 733|Z 0|" + ranges, {{"type", "10V"}, {"maxValue", 4.5}}, "dac12bit");
    row("features unreadable: no switch, no write-back", "ILS", 0x20, range, values(0.5f, 4.5f), "G 13|Z 0|S 389 33|S 38A 1CC|Z 0|" + ranges,
        {{"type", "10V"}, {"maxValue", 4.5}}, {}, 1);
    row("switch not taken: nothing written in the old range's counts", "ILS", 0x60, range, values(0.5f, 8), "G 13|S 13 20|G 13|Z 0|" + ranges,
        {{"type", "5V"}, {"maxCal", 5}}, {}, 2);
    row("beyond the converter: not written", "Murkwell", 0, range, values(4, 40), ranges);
    // The counts of the range a switch would select are checked before the switch is written.
    row("5 V asked for 20 V: nothing written", "ILS", 0x60, range, values(0.5f, 20), ranges, {{"type", "5V"}, {"maxCal", 5}});
    row("Murkwell 10 V range is 11.2 V full scale", "Murkwell", 0x60, range, values(0.5f, 8), "G 13|S 13 20|G 13|Z 0|S 389 2E|S 38A 2DB|Z 0|" + ranges,
        {{"type", "10V"}, {"maxCal", 11.2}, {"maxLimit", 10}});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const QString all = "liquidType,measuringRange,outputRange,switchOutput,NMEAliquidType,setFixOutputValue";
    const QString reads = "G 3|" + ranges + "|" + ranges + "|" + ranges + "|G 38F|G 38D";
    row("not a number: nothing written", "Murkwell", 0x20, all, values(nan, nan, nan), reads);
    row("infinities: nothing written", "Murkwell", 0x20, all, values(-inf, 10, inf), reads);
}

void TestLLSDevice::parameters()
{
    QFETCH(QString, type);
    QFETCH(QString, options);
    QFETCH(quint32, features);
    QFETCH(QString, param);
    QFETCH(SetParamStruct, request);
    QFETCH(QVariantMap, fields);
    LLSRig rig(type, options);
    rig.load(features);
    QFETCH(int, featureFault);
    if (featureFault)
        (featureFault == 1 ? rig.unreadable : rig.readOnly).append(19);
    QSignalSpy answered(&rig.device, &LLSDevice::ParamSet);
    rig.device.SetParam(param, request);
    QTEST(QString(rig.sent().join('|')).remove('\r'), "wire");
    LLS_COMPARE_FIELDS(rig.device, fields);
    // Every request is answered once, with its own names and record.
    QCOMPARE(answered.count(), 1);
    const SetParamStruct back = answered.at(0).at(1).value<SetParamStruct>();
    QCOMPARE(answered.at(0).at(0).toString() + back.text + QString::number(back.value3) + back.profileLevels.join(','),
             param + request.text + QString::number(request.value3) + request.profileLevels.join(','));
}

// Three exchanges without a reply end a load or a write; nothing read after is shown; the request is reported.
void TestLLSDevice::sensorLostMidway()
{
    LLSRig rig("ILS");
    int answers = 5;
    const auto bank = rig.driver->responder;
    rig.driver->responder = [&](const QByteArray &request, QByteArray &response) { return answers-- > 0 && bank(request, response); };
    QSignalSpy failed(&rig.device, &AbstractDevice::CommunicationFailed);
    QSignalSpy loaded(&rig.device, &LLSDevice::ParameterUpdate);
    QSignalSpy answered(&rig.device, &LLSDevice::ParamSet);
    rig.device.ReadParameter();
    QCOMPARE(rig.driver->requests.size(), 5 + LLSDevice::MaxFailedExchanges);
    QCOMPARE(loaded.count(), 0);
    rig.device.SetParam("measuringRange", values(10, 90));
    QCOMPARE(rig.driver->requests.size(), 5 + LLSDevice::MaxFailedExchanges);
    QCOMPARE(answered.count(), 1);
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed.at(0), (QVariantList{"load", "The sensor on SCRIPT1 stopped answering while it was being read.", false}));
    QCOMPARE(failed.at(1).at(0).toString(), QString("set"));
}

void TestLLSDevice::tankProfileWrite_data()
{
    QTest::addColumn<QStringList>("levels");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<QByteArrayList>("head");  // the first requests exactly: all of them if no point is written
    QTest::addColumn<bool>("accepted");        // whether the device then shows the table asked for

    using L = QStringList;
    using B = QByteArrayList;
    QTest::newRow("three points") << L{"0", "50", "100"} << L{"0", "40", "100"}
                                  << B{"S 200 00000200\r", "S 240 00000199\r", "S 201 03ff03ff\r", "S 241 03ff03ff\r"} << true;
    QTest::newRow("two points") << L{"0", "100"} << L{"0", "100"} << B{"S 200 000003ff\r", "S 240 000003ff\r", "S 201 03ff03ff\r"} << true;
    L many;
    for (int k = 0; k < 129; ++k)
        many << QString::number(k * 100.0 / 128, 'f', 1).remove(QRegularExpression("\\.0$"));
    for (int n : {5, 127, 128})
        QTest::addRow("%d points", n) << L(many.mid(0, n)) << L(many.mid(129 - n)) << B{} << true;
    QTest::newRow("none: profiling off") << L{} << L{} << B{"Z 0\r"} << true;
    QTest::newRow("lengths differ") << L{"0", "100"} << L{"0"} << B{} << false;
    QTest::newRow("single point") << L{"50"} << L{"50"} << B{"Z 0\r"} << false;
    QTest::newRow("above 100 %") << L{"0", "150"} << L{"0", "100"} << B{} << false;
    QTest::newRow("negative") << L{"-5", "100"} << L{"0", "100"} << B{} << false;
}

// Every register of the table written once, then one commit; or none, and the sensor keeps its table,
// which the device shows until the sensor holds the new one. The request is answered as received.
void TestLLSDevice::tankProfileWrite()
{
    QFETCH(QStringList, levels);
    QFETCH(QStringList, outputs);
    QFETCH(QByteArrayList, head);
    QFETCH(bool, accepted);
    LLSRig rig("LLS");
    const QStringList held{"0", "25", "100"};
    rig.device.SetParam("tankProfile", profile(held, held));
    rig.driver->requests.clear();
    QSignalSpy answered(&rig.device, &LLSDevice::ParamSet);
    rig.device.SetParam("tankProfile", profile(levels, outputs));

    const QByteArrayList sent = rig.sent();
    QSet<int> written;
    for (const QByteArray &request : sent)
        if (request.startsWith("S "))
            written.insert(request.split(' ').at(1).toInt(nullptr, 16));
    QCOMPARE(sent.mid(0, head.size()), head);
    QCOMPARE(sent.mid(written.size()), written.isEmpty() ? head : QByteArrayList{"Z 0\r"});
    QCOMPARE(written.size(), written.isEmpty() ? 0 : 128);
    QVERIFY(written.isEmpty() || (*std::min_element(written.begin(), written.end()) == 512 && *std::max_element(written.begin(), written.end()) == 639));
    QCOMPARE(answered.at(0).at(1).value<SetParamStruct>().profileLevels, levels);

    LLS_COMPARE_FIELDS(rig.device, (QVariantMap{{"levels", accepted ? levels : held}, {"outputs", accepted ? outputs : held}}));
    rig.device.ReadTankProfile();
    LLS_COMPARE_FIELDS(rig.device, (QVariantMap{{"levels", written.isEmpty() ? held : levels}, {"outputs", written.isEmpty() ? held : outputs}}));
}

void TestLLSDevice::tankProfileRead()
{
    LLSRig rig("ILS", "tankProfile");
    // Four points, the last three equal in both halves, then the fill.
    rig.registers.insert(512, 0x00000200);
    rig.registers.insert(576, 0x00000100);
    for (int i = 1; i < 64; ++i)
        rig.registers[512 + i] = rig.registers[576 + i] = 0x03FF03FF;
    rig.device.ReadTankProfile();
    LLS_COMPARE_FIELDS(rig.device, (QVariantMap{{"levels", QStringList{"0", "50", "100"}}, {"outputs", QStringList{"0", "25", "100"}}}));

    // Equal levels with different outputs are distinct points.
    rig.registers.insert(577, 0x02000300);
    rig.device.ReadTankProfile();
    QCOMPARE(rig.device.TankProfileLevels(), (QStringList{"0", "50", "100", "100", "100"}));

    for (int i = 0; i < 128; ++i)
        rig.registers.insert(512 + i, 0x01000100);
    rig.device.ReadTankProfile();
    LLS_COMPARE_FIELDS(rig.device, (QVariantMap{{"levels", QStringList{"25"}}, {"outputs", QStringList{"25"}}}));

    // A register that cannot be read would shift every later point: no table rather than a wrong one.
    rig.unreadable.append(530);
    rig.device.ReadTankProfile();
    LLS_COMPARE_FIELDS(rig.device, (QVariantMap{{"levels", QStringList()}, {"outputs", QStringList()}}));
}

void TestLLSDevice::measurement_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<quint32>("features");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("data");  // status, level %, output, internal and external temperature; or the read error

    QTest::newRow("plain") << "LLS" << 0u << QByteArray("A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,D,") << "0 49.9511 2 20 22.5";
    QTest::newRow("plain, top bit unsigned") << "LLS" << 0u << QByteArray("A,80000000,0,0,0,0,0,0,0,0,0,0,0,0,") << "2.14748e+09 0 2 0 0";
    QTest::newRow("plain, twelve fields") << "LLS" << 0u << QByteArray("A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,") << "error";
    QTest::newRow("industrial, 20 mA") << "ILS" << 0u << QByteArray("A,0,1FF,3FF,A0,") << "0 49.9511 20 20 0";
    QTest::newRow("industrial, more fields") << "ILS" << 0u << QByteArray("A,8,20,30,A8,7,B4,9,A,B,C,D,E,F,") << "8 3.12805 2.84457 21 0";
    QTest::newRow("output above the range: its end") << "ILS" << 0x20u << QByteArray("A,0,44C,44C,A0,") << "0 107.527 10 20 0";
    QTest::newRow("industrial, locked") << "ILS" << 0u << QByteArray("A,,") << "error";
}

void TestLLSDevice::measurement()
{
    QFETCH(QString, type);
    QFETCH(quint32, features);
    LLSRig rig(type);
    QFETCH(QByteArray, reply);
    rig.measurement = reply;
    rig.load(features);
    QSignalSpy data(&rig.device, &LLSDevice::dataUpdate);
    QElapsedTimer clock;
    clock.start();
    rig.device.ReadMeasurement();
    QVERIFY(clock.elapsed() >= 195);  // the pause that paces the polling
    QCOMPARE(data.count(), 1);
    const LevelSensorData d = data.at(0).at(0).value<LevelSensorData>();
    QStringList shown;
    for (float field : {d.status, d.level, d.output, d.internalTemperature, d.externalTemperature})
        shown << QString::number(field, 'g', 6);
    QTEST(d.readError ? QString("error") : shown.join(' '), "data");
}

// Half up and truncated, saturating at the ends of int; not a number is 0.
void TestLLSDevice::rounding()
{
    const double rows[][3] = {{2.5, 3, 2}, {-2.5, -2, -2}, {-0.9, -1, 0}, {1e30, INT_MAX, INT_MAX}, {-1e30, INT_MIN, INT_MIN},
                              {std::numeric_limits<double>::quiet_NaN(), 0, 0}};
    for (const auto &r : rows)
        QCOMPARE(QList<int>({LevelArithmetic::roundHalfUp(r[0]), LevelArithmetic::truncate(r[0])}), QList<int>({int(r[1]), int(r[2])}));
}

void TestLLSDevice::percentages_data()
{
    QTest::addColumn<float>("percent");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("profileText");  // the count as a tank profile point reads back
    QTest::newRow("half") << 49.95f << 511 << "50";
    QTest::newRow("12.5") << 12.5f << 128 << "12.5";
    QTest::newRow("0.05 is a count") << 0.05f << 1 << "0.1";
    QTest::newRow("0.04 is not") << 0.04f << 0 << "0";
}

// Percent to count rounds half up; the way back lands within half a count.
void TestLLSDevice::percentages()
{
    QFETCH(float, percent);
    QFETCH(int, count);
    QCOMPARE(LevelArithmetic::countOfPercent(percent, 1023), count);
    QVERIFY(qAbs(LevelArithmetic::percentOfCount(count, 1023) - percent) <= 50.f / 1023);
    QTEST(LevelArithmetic::profilePercentText(count, 1023), "profileText");
}

void TestLLSDevice::outputValues_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("minCal");
    QTest::addColumn<float>("maxCal");
    QTest::addColumn<int>("dacMax");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<float>("value");
    QTest::newRow("20 mA top") << 1023 << 2.f << 20.f << 1023 << 1 << 20.f;
    QTest::newRow("0.5 V of 5") << 102 << 0.f << 5.f << 1023 << 2 << 0.5f;
    QTest::newRow("12 bit current") << 455 << 2.f << 20.f << 4095 << 2 << 4.f;
    QTest::newRow("Murkwell 4 mA") << 190 << 0.1f << 21.1f << 1023 << 1 << 4.f;
    QTest::newRow("coarse") << 10 << 0.f << 200.f << 1023 << 0 << 2.f;
    QTest::newRow("step exactly 0.1") << 10 << 0.f << 102.3f << 1023 << 0 << 1.f;
    QTest::newRow("no range") << 10 << 0.f << 0.f << 1023 << 2 << 0.f;
}

// A count as a value rounded to the decimals its step allows, and back to the same count.
void TestLLSDevice::outputValues()
{
    QFETCH(int, count);
    QFETCH(float, minCal);
    QFETCH(float, maxCal);
    QFETCH(int, dacMax);
    QFETCH(float, value);
    QTEST(LevelArithmetic::outputDecimals((static_cast<double>(maxCal) - minCal) / dacMax), "decimals");
    QCOMPARE(LevelArithmetic::outputValue(count, minCal, maxCal, dacMax), value);
    if (maxCal - minCal >= 1)
        QCOMPARE(LevelArithmetic::outputCount(value, minCal, LevelArithmetic::outputStep(minCal, maxCal, dacMax)), count);
}

QTEST_GUILESS_MAIN(TestLLSDevice)
#include "tst_llsdevice.moc"
