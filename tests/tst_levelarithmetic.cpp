// Counts to percentages and output values and back, and the processing of live measurements.
#include "lls/device/levelarithmetic.h"
#include "lls/device/llsdevice.h"
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "llsbank.h"
#include "messagelog.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace LevelArithmetic;

class TestLevelArithmetic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { LLSDevice::RegisterMetaTypes(); }
    void rounding_data();
    void rounding();
    void percentages_data();
    void percentages();
    void decimals_data();
    void decimals();
    void outputValues_data();
    void outputValues();
    void measurementProcessing_data();
    void measurementProcessing();
};

void TestLevelArithmetic::rounding_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("halfUp");
    QTest::addColumn<int>("truncated");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("2.5") << 2.5 << 3 << 2;
    QTest::newRow("-2.5") << -2.5 << -2 << -2;
    QTest::newRow("-2.51") << -2.51 << -3 << -2;
    QTest::newRow("102.3") << 102.3 << 102 << 102;
    QTest::newRow("920.7") << 920.7 << 921 << 920;
    QTest::newRow("-0.9") << -0.9 << -1 << 0;
    QTest::newRow("huge") << 1e30 << INT_MAX << INT_MAX;
    QTest::newRow("-huge") << -1e30 << INT_MIN << INT_MIN;
    QTest::newRow("nan") << nan << 0 << 0;
}

void TestLevelArithmetic::rounding()
{
    QFETCH(double, x);
    QTEST(roundHalfUp(x), "halfUp");
    QTEST(LevelArithmetic::truncate(x), "truncated");
}

void TestLevelArithmetic::percentages_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("percent");
    QTest::newRow("full") << 1023 << 100.0;
    QTest::newRow("empty") << 0 << 0.0;
    QTest::newRow("511") << 511 << 49.951124;
    QTest::newRow("-51") << -51 << -4.985337;
    QTest::newRow("above") << 1100 << 107.526882;
}

void TestLevelArithmetic::percentages()
{
    QFETCH(int, count);
    QFETCH(double, percent);
    QVERIFY2(std::fabs(percentOfCount(count, 1023) - percent) < 1e-4, qPrintable(QString::number(percentOfCount(count, 1023), 'g', 9)));

    // The way back, as the writes use it.
    const struct {
        float percent;
        int count;
    } back[] = {{10, 102}, {90, 921}, {50, 512}, {-5, -51}, {12.5f, 128}, {100, 1023}, {0, 0}, {0.05f, 1}, {0.04f, 0}};
    for (const auto &b : back)
        QCOMPARE(countOfPercent(b.percent, 1023), b.count);
}

void TestLevelArithmetic::decimals_data()
{
    QTest::addColumn<float>("minCal");
    QTest::addColumn<float>("maxCal");
    QTest::addColumn<int>("dacMax");
    QTest::addColumn<int>("decimals");
    QTest::newRow("10 V on 10 bit") << 0.f << 10.f << 1023 << 2;
    QTest::newRow("5 V on 10 bit") << 0.f << 5.f << 1023 << 2;
    QTest::newRow("current") << 2.f << 20.f << 1023 << 1;
    QTest::newRow("current Murkwell") << 0.1f << 21.1f << 1023 << 1;
    QTest::newRow("resistive and CAN") << 0.f << 100.f << 1023 << 1;
    QTest::newRow("current on 12 bit") << 2.f << 20.f << 4095 << 2;
    QTest::newRow("10 V on 12 bit") << 0.f << 10.f << 4095 << 2;
    QTest::newRow("coarse") << 0.f << 200.f << 1023 << 0;
    QTest::newRow("exactly 0.1") << 0.f << 102.3f << 1023 << 0;
    QTest::newRow("no range") << 0.f << 0.f << 1023 << 2;
}

void TestLevelArithmetic::decimals()
{
    QFETCH(float, minCal);
    QFETCH(float, maxCal);
    QFETCH(int, dacMax);
    QTEST(outputDecimals((static_cast<double>(maxCal) - minCal) / dacMax), "decimals");
    QCOMPARE(outputDecimals(std::numeric_limits<double>::quiet_NaN()), 2);
}

void TestLevelArithmetic::outputValues_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("minCal");
    QTest::addColumn<float>("maxCal");
    QTest::addColumn<int>("dacMax");
    QTest::addColumn<float>("value");
    QTest::newRow("20 mA top") << 1023 << 2.f << 20.f << 1023 << 20.f;
    QTest::newRow("0.5 V") << 102 << 0.f << 5.f << 1023 << 0.5f;
    QTest::newRow("count 0") << 0 << 2.f << 20.f << 1023 << 2.f;
    QTest::newRow("mid current") << 512 << 2.f << 20.f << 1023 << 11.f;
    QTest::newRow("10 V") << 460 << 0.f << 10.f << 1023 << 4.5f;
    QTest::newRow("resistive") << 500 << 0.f << 100.f << 1023 << 48.9f;
    QTest::newRow("12 bit") << 455 << 2.f << 20.f << 4095 << 4.f;
    QTest::newRow("Murkwell 4 mA") << 190 << 0.1f << 21.1f << 1023 << 4.f;
}

void TestLevelArithmetic::outputValues()
{
    QFETCH(int, count);
    QFETCH(float, minCal);
    QFETCH(float, maxCal);
    QFETCH(int, dacMax);
    QFETCH(float, value);
    QCOMPARE(outputValue(count, minCal, maxCal, dacMax), value);
    // And back to the same count, the way output ranges are written.
    if (count > 0)
        QCOMPARE(outputCount(value, minCal, outputStep(minCal, maxCal, dacMax)), count);
}

void TestLevelArithmetic::measurementProcessing_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<quint32>("features");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<float>("level");
    QTest::addColumn<float>("output");
    QTest::addColumn<bool>("readError");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("full, 20 mA") << "ILS" << 0u << QByteArray("A,0,3FF,3FF,A0,") << 100.f << 20.f << false << "";
    QTest::newRow("half, mid current") << "ILS" << 0u << QByteArray("A,0,1FF,200,A0,") << 49.951124f << 11.009f << false << "";
    QTest::newRow("count 0 is the bottom") << "ILS" << 0u << QByteArray("A,0,0,0,A0,") << 0.f << 2.f << false << "";
    QTest::newRow("above the range") << "ILS" << 0x20u << QByteArray("A,0,44C,44C,A0,") << 107.526882f << 10.f << false
                                     << "reducedlevel>maxCalibratedOutput (10.7527>10) !!!!";
    QTest::newRow("unreadable") << "ILS" << 0u << QByteArray("A,,") << 0.f << 0.f << true << "Error reading data:";
    QTest::newRow("plain family") << "LLS" << 0u << QByteArray("A,0,1FF,3,4,5,A0,7,B4,9,A,B,C,D,") << 49.951124f << 2.f << false << "";
}

void TestLevelArithmetic::measurementProcessing()
{
    QFETCH(QString, type);
    QFETCH(quint32, features);
    QFETCH(QByteArray, reply);
    QFETCH(float, level);
    QFETCH(float, output);
    QFETCH(QString, debugLine);
    auto *driver = new ScriptedDriver;
    LLSBank bank(driver);
    bank.registers.insert(19, features);
    bank.measurement = reply;
    AbstractLLSProtocol *protocol = type == "LLS" ? static_cast<AbstractLLSProtocol *>(new LiquidLevelSensorProtocol(driver))
                                                  : new IndustrialLevelSensorProtocol(driver);
    LLSDevice device(protocol, DeviceIdentity{"1", "1", "0"}, CatalogueEntry{"1", "", "Probe", type, "", ""});
    device.ReadParameter();

    QSignalSpy data(&device, &LLSDevice::dataUpdate);
    MessageLog log;
    QElapsedTimer clock;
    clock.start();
    device.ReadMeasurement();
    QVERIFY(clock.elapsed() >= 195);
    QCOMPARE(data.count(), 1);
    const LevelSensorData d = data.at(0).at(0).value<LevelSensorData>();
    QVERIFY2(std::fabs(d.level - level) < 1e-3, qPrintable(QString::number(d.level, 'g', 9)));
    QVERIFY2(std::fabs(d.output - output) < 1e-3, qPrintable(QString::number(d.output, 'g', 9)));
    QTEST(d.readError, "readError");
    if (!debugLine.isEmpty())
        QVERIFY2(log.contains(debugLine), qPrintable(log.lines().join('|')));
    else
        QVERIFY(!log.contains("reducedlevel"));
}

QTEST_GUILESS_MAIN(TestLevelArithmetic)
#include "tst_levelarithmetic.moc"
