// The gauges drawn into images (ticks, range zones, warning lines, the output pointer) and their setters.
#include "lls/ui/probelevelgaugewidget.h"
#include "lls/ui/probeoutputgaugewidget.h"

#include <QPainter>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

using Setup = std::function<void(GaugeWidget &)>;
using Checks = QVector<QPair<QPoint, QColor>>;
Q_DECLARE_METATYPE(Setup)

namespace {

// 160 x 256: centre x 80, bar width 40, bar from y 16 down to 240, 2.24 pixels a percent.
constexpr int Width = 160;
constexpr int Height = 256;
const QColor Bar(180, 180, 180, 70);
const QColor Level(19, 140, 205, 210);

// The colour translucent fills give over white, blended by the painter as the gauge's are.
QColor over(std::initializer_list<QColor> fills)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::white);
    QPainter painter(&pixel);
    for (const QColor &fill : fills)
        painter.fillRect(0, 0, 1, 1, fill);
    painter.end();
    return pixel.pixelColor(0, 0);
}

ProbeLevelGaugeWidget &level(GaugeWidget &gauge) { return static_cast<ProbeLevelGaugeWidget &>(gauge); }

// Counts its paints, to show that a setter has painted before it returns.
struct CountedGauge : ProbeLevelGaugeWidget
{
    int paints = 0;
    void paintEvent(QPaintEvent *event) override { ++paints, ProbeLevelGaugeWidget::paintEvent(event); }
};

}

class TestGauges : public QObject
{
    Q_OBJECT

private slots:
    void ticks_data();
    void ticks();
    void bar_data();
    void bar();
    void setters_data();
    void setters();
};

void TestGauges::ticks_data()
{
    QTest::addColumn<float>("maximum");
    QTest::addColumn<float>("step");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("default scale") << 100.f << 10.f << QStringList{"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"};
    QTest::newRow("0 to 5 by 0.5") << 5.f << 0.5f << QStringList{"0", "0.5", "1", "1.5", "2", "2.5", "3", "3.5", "4", "4.5", "5"};
    QTest::newRow("zero step") << 100.f << 0.f << QStringList();
    QTest::newRow("a million ticks") << 100.f << 0.0001f << QStringList();
}

// Each label's tick is drawn at its height, and a scale that cannot be drawn paints no ticks.
void TestGauges::ticks()
{
    QFETCH(float, maximum);
    QFETCH(float, step);
    QFETCH(QStringList, labels);
    ProbeOutputGaugeWidget gauge;
    gauge.resize(Width, Height);
    gauge.setMaximum(maximum);
    gauge.setTickStep(step);
    QStringList drawn;
    for (const GaugeGeometry::Tick &tick : GaugeGeometry::layout(Width, Height, 0, maximum, 0, step).ticks)
        drawn << tick.label;
    QCOMPARE(drawn, labels);

    const QImage image = gauge.grab().toImage();
    QVector<int> tickRows;
    for (int y = 0; y < Height; ++y)
        if (image.pixelColor(62, y) == GaugeWidget::tickColour())
            tickRows << y;
    QCOMPARE(tickRows.size(), 2 * labels.size());
    for (int i = 0; i < labels.size(); ++i) {
        const int y = static_cast<int>(240 - i * 224.f / (labels.size() - 1));
        QVERIFY2(tickRows.contains(y - 1) && tickRows.contains(y), qPrintable(labels.at(i)));
    }
}

void TestGauges::bar_data()
{
    QTest::addColumn<bool>("output");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<Checks>("checks");
    const QColor grey = GaugeWidget::outOfRangeColour();
    const QColor orange = GaugeWidget::warningColour();
    QTest::newRow("value below the scale: empty") << false << Setup([](GaugeWidget &g) { g.setValue(-3); })
                                                  << Checks{{{100, 16}, over({Bar})}, {{100, 239}, over({Bar})}, {{100, 240}, Qt::white}};
    // Range 10..90 % ends at rows 217 and 38; the liquid at 50 % reaches row 128.
    QTest::newRow("range zones and markers")
        << false << Setup([](GaugeWidget &g) { level(g).setRangeMarks(true, 10, 90); g.setValue(50); })
        << Checks{{{100, 230}, over({Bar, grey, Level})}, {{100, 216}, over({Bar, Level})}, {{100, 128}, over({Bar, Level})},
                  {{100, 127}, over({Bar})}, {{100, 37}, grey}, {{100, 38}, over({Bar})}, {{134, 217}, grey}, {{137, 32}, grey}};
    // Warning 95 % at row 27; the hysteresis line at 105 % is pinned to the top, row 16.
    QTest::newRow("hysteresis above pinned at 100 %")
        << false << Setup([](GaugeWidget &g) { level(g).setWarningMarks(true, true, 95, 10); })
        << Checks{{{100, 27}, orange}, {{100, 16}, orange}, {{100, 21}, over({Bar})}};
    QTest::newRow("hysteresis below pinned at 0 %")
        << false << Setup([](GaugeWidget &g) { level(g).setWarningMarks(true, false, 5, 10); })
        << Checks{{{100, 239}, orange}, {{100, 206}, over({Bar})}};
    QTest::newRow("warning hidden again")
        << false << Setup([](GaugeWidget &g) { level(g).setWarningMarks(true, true, 50, 0); level(g).setWarningMarks(false, true, 0, 0); })
        << Checks{{{100, 128}, over({Bar})}};
    // Pointer from x 75, 50 wide, rows 128..131; stripes every 4 rows up from the bottom.
    QTest::newRow("output pointer and stripes")
        << true << Setup([](GaugeWidget &g) { g.setValue(50); })
        << Checks{{{76, 128}, over({Level})}, {{124, 131}, over({Level})}, {{76, 132}, Qt::white}, {{76, 127}, Qt::white},
                  {{100, 236}, over({Bar, Bar})}, {{100, 238}, over({Bar})}};
}

void TestGauges::bar()
{
    QFETCH(bool, output);
    QFETCH(Setup, setup);
    QFETCH(Checks, checks);
    QScopedPointer<GaugeWidget> gauge(output ? static_cast<GaugeWidget *>(new ProbeOutputGaugeWidget) : new ProbeLevelGaugeWidget);
    gauge->resize(Width, Height);
    setup(*gauge);
    const QImage image = gauge->grab().toImage();
    for (const auto &check : checks)
        QVERIFY2(image.pixelColor(check.first) == check.second, qPrintable(QString("at y %1").arg(check.first.y())));
}

void TestGauges::setters_data()
{
    QTest::addColumn<Setup>("call");
    QTest::addColumn<float>("minimum");
    QTest::addColumn<float>("maximum");
    QTest::addColumn<float>("value");
    QTest::newRow("value limited to the maximum") << Setup([](GaugeWidget &g) { g.setValue(150); }) << 0.f << 100.f << 100.f;
    QTest::newRow("value not a number ignored") << Setup([](GaugeWidget &g) { g.setValue(std::nanf("")); }) << 0.f << 100.f << 20.f;
    QTest::newRow("maximum at the minimum ignored") << Setup([](GaugeWidget &g) { g.setMaximum(0); }) << 0.f << 100.f << 20.f;
    QTest::newRow("minimum at the maximum ignored") << Setup([](GaugeWidget &g) { g.setMinimum(100); }) << 0.f << 100.f << 20.f;
    QTest::newRow("infinite minimum ignored") << Setup([](GaugeWidget &g) { g.setMinimum(-std::numeric_limits<float>::infinity()); }) << 0.f << 100.f << 20.f;
    QTest::newRow("minimum taken, value kept") << Setup([](GaugeWidget &g) { g.setMinimum(50); }) << 50.f << 100.f << 20.f;
    QTest::newRow("tick step") << Setup([](GaugeWidget &g) { g.setTickStep(0); }) << 0.f << 100.f << 20.f;
    QTest::newRow("range marks") << Setup([](GaugeWidget &g) { level(g).setRangeMarks(false, 0, 100); }) << 0.f << 100.f << 20.f;
    QTest::newRow("warning marks") << Setup([](GaugeWidget &g) { level(g).setWarningMarks(false, false, 0, 0); }) << 0.f << 100.f << 20.f;
}

// Every setter repaints before it returns, also when it changed nothing.
void TestGauges::setters()
{
    QFETCH(Setup, call);
    CountedGauge gauge;
    gauge.setValue(20);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    gauge.paints = 0;
    call(gauge);
    QCOMPARE(gauge.paints, 1);
    QTEST(gauge.minimum(), "minimum");
    QTEST(gauge.maximum(), "maximum");
    QTEST(gauge.value(), "value");
}

QTEST_MAIN(TestGauges)
#include "tst_gauges.moc"
