// Counts to percentages and output values and back, rounding and decimals.
#include "lls/device/levelarithmetic.h"

#include <QtTest>

#include <limits>

using namespace LevelArithmetic;

class TestLevelArithmetic : public QObject
{
    Q_OBJECT

private slots:
    void rounding_data();
    void rounding();
    void percentages_data();
    void percentages();
    void outputValues_data();
    void outputValues();
};

void TestLevelArithmetic::rounding_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("halfUp");
    QTest::addColumn<int>("truncated");
    QTest::newRow("2.5") << 2.5 << 3 << 2;
    QTest::newRow("-2.5") << -2.5 << -2 << -2;
    QTest::newRow("-2.51") << -2.51 << -3 << -2;
    QTest::newRow("-0.9") << -0.9 << -1 << 0;
    QTest::newRow("huge") << 1e30 << INT_MAX << INT_MAX;
    QTest::newRow("-huge") << -1e30 << INT_MIN << INT_MIN;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0 << 0;
}

void TestLevelArithmetic::rounding()
{
    QFETCH(double, x);
    QTEST(roundHalfUp(x), "halfUp");
    QTEST(LevelArithmetic::truncate(x), "truncated");
}

void TestLevelArithmetic::percentages_data()
{
    QTest::addColumn<float>("percent");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("profileText");  // the count as a tank profile point reads back
    QTest::newRow("10") << 10.f << 102 << "10";
    QTest::newRow("90") << 90.f << 921 << "90";
    QTest::newRow("half") << 49.95f << 511 << "50";
    QTest::newRow("12.5") << 12.5f << 128 << "12.5";
    QTest::newRow("0.05 is a count") << 0.05f << 1 << "0.1";
    QTest::newRow("0.04 is not") << 0.04f << 0 << "0";
    QTest::newRow("full") << 100.f << 1023 << "100";
}

// Percent to count rounds half up; the way back lands within half a count.
void TestLevelArithmetic::percentages()
{
    QFETCH(float, percent);
    QFETCH(int, count);
    QCOMPARE(countOfPercent(percent, 1023), count);
    QVERIFY(qAbs(percentOfCount(count, 1023) - percent) <= 50.f / 1023);
    QTEST(profilePercentText(count, 1023), "profileText");
}

void TestLevelArithmetic::outputValues_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("minCal");
    QTest::addColumn<float>("maxCal");
    QTest::addColumn<int>("dacMax");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<float>("value");
    QTest::newRow("20 mA top") << 1023 << 2.f << 20.f << 1023 << 1 << 20.f;
    QTest::newRow("mid current") << 512 << 2.f << 20.f << 1023 << 1 << 11.f;
    QTest::newRow("0.5 V of 5") << 102 << 0.f << 5.f << 1023 << 2 << 0.5f;
    QTest::newRow("4.5 V of 10") << 460 << 0.f << 10.f << 1023 << 2 << 4.5f;
    QTest::newRow("resistive") << 500 << 0.f << 100.f << 1023 << 1 << 48.9f;
    QTest::newRow("12 bit current") << 455 << 2.f << 20.f << 4095 << 2 << 4.f;
    QTest::newRow("Murkwell 4 mA") << 190 << 0.1f << 21.1f << 1023 << 1 << 4.f;
    QTest::newRow("coarse") << 10 << 0.f << 200.f << 1023 << 0 << 2.f;
    QTest::newRow("step exactly 0.1") << 10 << 0.f << 102.3f << 1023 << 0 << 1.f;
    QTest::newRow("no range") << 10 << 0.f << 0.f << 1023 << 2 << 0.f;
}

// A count as a value rounded to the decimals its step allows, and back to the same count.
void TestLevelArithmetic::outputValues()
{
    QFETCH(int, count);
    QFETCH(float, minCal);
    QFETCH(float, maxCal);
    QFETCH(int, dacMax);
    QFETCH(float, value);
    QTEST(outputDecimals((static_cast<double>(maxCal) - minCal) / dacMax), "decimals");
    QCOMPARE(outputValue(count, minCal, maxCal, dacMax), value);
    if (maxCal - minCal >= 1)
        QCOMPARE(outputCount(value, minCal, outputStep(minCal, maxCal, dacMax)), count);
}

QTEST_GUILESS_MAIN(TestLevelArithmetic)
#include "tst_levelarithmetic.moc"
