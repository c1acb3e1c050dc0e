// Position sensors: list replies, the device's arithmetic, the form over a scripted driver, the activator picture.
#include "device/pollingguard.h"
#include "ncps/activatorwidget.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsform.h"
#include "ncps/slimfinprotocol.h"
#include "scripteddriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QSvgRenderer>
#include <QtTest>

#include <climits>

namespace {

const DeviceIdentity Identity{"123", "1.4", "456789"};
const CatalogueEntry Entry{"123", "", "Slimfin Position Sensor", "Slimfin", "", ""};
// The simulated Slimfin's: offset 150, scale 9011, limits 400 and 3700, activator minimum 256, direct output 2048.
const QByteArray Parameters = "PLIST\r\n00,0096,posn_offset\r\n01,2333,posn_scale\r\n02,0190,output_lower\r\n"
                              "03,0E74,output_upper\r\n04,0000,output_noact\r\n05,0100,activator_min\r\n"
                              "06,0800,output_direct\r\n>";

// A device over a scripted driver that answers PLIST with Parameters.
struct Scripted
{
    Scripted() { driver->setReply("PLIST\r", Parameters); }
    ScriptedDriver *driver = new ScriptedDriver;
    NCPSDevice device{new SlimfinProtocol(driver), Identity, Entry};

    // Reads parameters with the given offset, scale and direct output instead.
    void load(int offset, int scale, int direct)
    {
        auto field = [](int v) { return QByteArray::number(quint16(v), 16).rightJustified(4, '0'); };
        QByteArray reply = Parameters;
        reply.replace("0096", field(offset)).replace("2333", field(scale)).replace("0800", field(direct));
        driver->setReply("PLIST\r", reply);
        device.ReadParameter();
    }
};

// Every field of both reads that is not zero, as "name=value" in declaration order.
QString nonZeroFields(const NCPSMeasurement &m, const NCPSParameter &p)
{
    const QPair<QString, int> fields[] = {{"activator", m.activator}, {"raw_position", m.raw_position},
        {"position", m.position}, {"posn_offset", p.posn_offset}, {"posn_scale", p.posn_scale},
        {"output_lower", p.output_lower}, {"output_upper", p.output_upper}, {"output_noact", p.output_noact},
        {"activator_min", p.activator_min}, {"output_direct", p.output_direct}};
    QStringList out;
    for (const auto &field : fields)
        if (field.second != 0)
            out << QString("%1=%2").arg(field.first).arg(field.second);
    return out.join(' ');
}

// The red pixels of the widget's picture in the rows [top, bottom) (its text is antialiased, the picture
// grey): how many, and their first and last column (-1 if none).
struct Span
{
    int count = 0, first = -1, last = -1;
};

Span red(QWidget &widget, int top = 0, int bottom = INT_MAX)
{
    const QImage image = widget.grab().toImage();
    Span s;
    for (int y = top; y < qMin(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60) {
                ++s.count;
                s.first = s.first < 0 ? x : qMin(s.first, x);
                s.last = qMax(s.last, x);
            }
        }
    return s;
}

}

class TestNCPSForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<ActivatorWidget::BubbleType>(); }
    void readsParseListReplies_data();
    void readsParseListReplies();
    void rawPositionOfOutput_data();
    void rawPositionOfOutput();
    void measurementsAndActivatorThreshold();
    void leavingBeforeTheReplyStillClosesThePort_data();
    void leavingBeforeTheReplyStillClosesThePort();
    void noAnswerRetriesThenGivesUp_data();
    void noAnswerRetriesThenGivesUp();
    void valueAndBubbleRules();
    void bubbleLabelsPlaceAndScale();
    void activatorLineOrWarningOnImage();
};

void TestNCPSForm::readsParseListReplies_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QStringList>("failed");  // the requests reported as unanswered instead of read

    const QByteArray measurement = "MLIST\r\nM1,0400,activator\r\nM2,0100,raw_position\r\nM3,0200,position\r\n>";
    const QStringList both{"MLIST", "PLIST"};
    QTest::newRow("failed request, bytes ignored") << false << measurement << "" << both;
    QTest::newRow("echo and prompt only") << true << QByteArray("PLIST\r\n>") << "" << QStringList{"MLIST"};
    QTest::newRow("FFFF and 8000 sign-extended") << true << QByteArray("MLIST\r\nM1,FFFF,activator\r\nM2,8000,raw_position\r\nM3,7fff,position\r\n>")
                                                 << "activator=-1 raw_position=-32768 position=32767" << QStringList();
    QTest::newRow("nothing read after position") << true << QByteArray("MLIST\r\nM2,C180,raw_position\r\nM3,0FFF,position\r\nM1,0400,activator\r\n>")
                                                 << "raw_position=-16000 position=4095" << QStringList();
    // Without its position line a measurement says nothing about the activator.
    QTest::newRow("position sharing the prompt's piece is not read")
        << true << QByteArray("MLIST\r\nM1,0400,activator\r\nM3,0200,position\r>") << "" << QStringList{"MLIST"};
    // output_direct missing, an unknown name, and posn_scale twice (the last counts).
    QTest::newRow("parameters") << true
                                << QByteArray("PLIST\r\nP0,0096,posn_offset\r\nP1,1000,posn_scale\r\nP2,0190,output_lower\r\nP9,1234,output_mode\r\n"
                                              "P3,0E74,output_upper\r\nP4,FFFE,output_noact\r\nP5,0100,activator_min\r\nP1,2333,posn_scale\r\n>")
                                << "posn_offset=150 posn_scale=9011 output_lower=400 output_upper=3700 output_noact=-2 activator_min=256"
                                << QStringList{"MLIST"};
    // No carriage return, a name's case, a match starting anywhere, not four hex digits (0), too short.
    QTest::newRow("malformed lines") << true << QByteArray("PLIST\r\nP3,0FFF,output_upper\nP2,0190,Output_lower\r\n\x02noise P5,0100,activator_min\r\n"
                                                           "P0,0x1F,posn_offset\r\nP1,12,posn_scale\r\nP6,0010,output_direct\r\n>")
        << "activator_min=256 output_direct=16" << QStringList{"MLIST"};
}

// Both reads get the same reply: measurement names never land in the parameters, nor the reverse.
// A read either emits its record, which for parameters the device then keeps, or reports that the
// sensor did not answer; a record of zeros never stands for a failed read.
void TestNCPSForm::readsParseListReplies()
{
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, failed);
    Scripted f;
    f.load(1, 2, 3);
    const NCPSParameter before = f.device.parameters();
    f.driver->requests.clear();
    f.driver->responder = [&](const QByteArray &, QByteArray &response) {
        response = reply;
        return succeeds;
    };
    QSignalSpy measurements(&f.device, &NCPSDevice::MeasurementUpdate);
    QSignalSpy parameters(&f.device, &NCPSDevice::ParameterUpdate);
    QSignalSpy failures(&f.device, &AbstractDevice::CommunicationFailed);
    f.device.ReadMeasurement();
    f.device.ReadParameter();
    QCOMPARE(f.driver->requests, QByteArrayList({"MLIST\r", "PLIST\r"}));
    QStringList unanswered;
    for (const QList<QVariant> &args : failures) {
        unanswered << args.at(0).toString();
        QCOMPARE(args.mid(1), (QVariantList{"The sensor on SCRIPT1 did not answer.", false}));
    }
    QCOMPARE(unanswered, failed);
    QCOMPARE(measurements.count(), failed.contains("MLIST") ? 0 : 1);
    QCOMPARE(parameters.count(), failed.contains("PLIST") ? 0 : 1);
    const auto m = measurements.isEmpty() ? NCPSMeasurement{} : measurements.at(0).at(0).value<NCPSMeasurement>();
    const auto p = parameters.isEmpty() ? NCPSParameter{} : parameters.at(0).at(0).value<NCPSParameter>();
    QCOMPARE(nonZeroFields({}, f.device.parameters()), nonZeroFields({}, parameters.isEmpty() ? before : p));
    QTEST(nonZeroFields(m, p), "fields");
}

void TestNCPSForm::rawPositionOfOutput_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("direct");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("raw");
    // Equal scale and offset (as before a read) and a zero scale cannot be inverted: the middle, not a fault.
    QTest::newRow("scale equal to offset") << 77 << 77 << 0 << 3700 << 0;
    QTest::newRow("zero scale") << 150 << 0 << 2048 << 400 << 0;
    // 0x8000 << 16 is INT_MIN, and INT_MIN / 0xFFFF (-1) traps in 32 bits: 2^31 wraps to INT_MIN.
    QTest::newRow("8000 with scale FFFF") << 0 << -1 << 0 << -32768 << INT_MIN;
    QTest::newRow("difference shifted into the sign bit") << 0 << 1 << -7233 << 32767 << -1673527296;
    QTest::newRow("final subtraction wraps") << 2 << 1 << 0 << -32768 << INT_MAX - 1;
    // Where 32 bits hold every step, the 32-bit result: the largest shift; a division truncates toward zero.
    QTest::newRow("largest defined") << -32768 << 32767 << 0 << 32767 << 98304;
    QTest::newRow("negative quotient truncated") << 0 << 3 << 1 << 0 << -21845;
}

void TestNCPSForm::rawPositionOfOutput()
{
    QFETCH(int, offset);
    QFETCH(int, scale);
    QFETCH(int, direct);
    QFETCH(int, count);
    Scripted f;
    f.load(offset, scale, direct);
    QTEST(f.device.rawPositionOfOutput(count), "raw");
}

void TestNCPSForm::measurementsAndActivatorThreshold()
{
    Scripted s;
    NCPSForm form(&s.device, nullptr);
    QSignalSpy disconnectSpy(&form, &NCPSForm::Disconnect);
    s.device.ReadParameter();  // parameters in, loop not started: the form was not started
    ActivatorWidget *picture = form.activatorWidget();
    auto *level = form.findChild<QLineEdit *>("activatorLevelEdit");

    // A signal equal to the threshold counts as an activator.
    form.onMeasurementUpdate(NCPSMeasurement{256, -1000, 2042});
    QVERIFY(picture->activatorVisible() && picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(picture->bubbleLabelText(ActivatorWidget::ActivatorBubble), QString("Activator Position\n2.28 V"));
    QCOMPARE(picture->bubbleValue(ActivatorWidget::ActivatorBubble), -1000);
    QCOMPARE(level->text(), QString("256"));

    // One below: no activator, the warning instead of line and bubble; outputs below the range show its start.
    form.onMeasurementUpdate(NCPSMeasurement{255, 5000, -100});
    QVERIFY(!picture->activatorVisible() && !picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(picture->noActivatorText(), QString(" No Activator Present \n0.00 V"));
    QCOMPARE(picture->value(), -1000);
    QCOMPARE(level->text(), QString("255"));

    // Outputs beyond the range show its end; raw positions beyond the picture's range its edge.
    form.onMeasurementUpdate(NCPSMeasurement{900, 20000, 5000});
    QCOMPARE(picture->bubbleLabelText(ActivatorWidget::ActivatorBubble), QString("Activator Position\n4.57 V"));
    QCOMPARE(picture->value(), 15800);
    // Not polling: every reply is answered by closing the port, never by a new request.
    QCOMPARE(disconnectSpy.count(), 4);
    QVERIFY(!s.driver->requests.contains("MLIST\r"));
}

void TestNCPSForm::leavingBeforeTheReplyStillClosesThePort_data()
{
    QTest::addColumn<bool>("replaced");
    QTest::newRow("parameters arrive after leaving") << false;
    QTest::newRow("form replaced before they arrive") << true;
}

void TestNCPSForm::leavingBeforeTheReplyStillClosesThePort()
{
    QFETCH(bool, replaced);
    Scripted s;
    auto *form = new NCPSForm(&s.device, nullptr);
    // Queue the device's answer so it arrives after the user has left.
    disconnect(&s.device, &NCPSDevice::ParameterUpdate, form, &NCPSForm::onParameterUpdate);
    connect(&s.device, &NCPSDevice::ParameterUpdate, form, &NCPSForm::onParameterUpdate, Qt::QueuedConnection);
    QSignalSpy readMeasurement(form, &NCPSForm::ReadMeasurement);

    form->start();
    QVERIFY(form->isPolling() && s.driver->isOpen);
    form->stopPolling();
    QVERIFY(!form->isPolling());
    if (replaced)
        delete form;
    QTRY_VERIFY(!s.driver->isOpen);
    if (!replaced) {
        // The parameters were still shown.
        QCOMPARE(form->activatorWidget()->bubbleValue(ActivatorWidget::MinimumBubble), -12135);
        delete form;
    }
    QCoreApplication::processEvents();
    QCOMPARE(s.driver->closeCount, 1);
    QCOMPARE(readMeasurement.count(), 0);
}

void TestNCPSForm::noAnswerRetriesThenGivesUp_data()
{
    QTest::addColumn<QString>("answers");   // per request, '+' answered or '-' not; none after the last
    QTest::addColumn<QString>("requests");  // what the form asked for before it gave up
    QTest::newRow("silent sensor: three tries") << "" << "PLIST PLIST PLIST";
    QTest::newRow("an answer starts the count again") << "-+--" << "PLIST PLIST MLIST MLIST MLIST";
}

void TestNCPSForm::noAnswerRetriesThenGivesUp()
{
    QFETCH(QString, answers);
    Scripted s;
    QElapsedTimer clock;
    clock.start();
    QList<qint64> at;
    s.driver->responder = [&](const QByteArray &request, QByteArray &response) {
        const bool answered = answers.mid(at.size(), 1) == "+";
        at.append(clock.elapsed());
        response = request == "PLIST\r" ? Parameters : "MLIST\r\n00,0400,activator\r\n01,0100,raw_position\r\n02,0200,position\r\n>";
        return answered;
    };
    NCPSForm form(&s.device, nullptr);
    QSignalSpy lost(&form, &NCPSForm::SensorLost);
    form.start();
    // Until the next try, nothing unread may look like a reading.
    ActivatorWidget *picture = form.activatorWidget();
    QCOMPARE(picture->noActivatorText(), QString(" No Answer From Sensor \nSCRIPT1"));
    QVERIFY(!picture->activatorVisible() && !picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(form.findChild<QLineEdit *>("activatorLevelEdit")->text(), QString("-"));

    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    QCOMPARE(lost.at(0).at(0).toString(), QString("The sensor on SCRIPT1 did not answer."));
    QTEST(QString(s.driver->requests.join(' ')).remove('\r'), "requests");
    // A retry waits as long as a silent exchange would have taken; after an answer the next goes at once.
    for (int i = 1; i < at.size(); ++i) {
        const qint64 gap = at.at(i) - at.at(i - 1);
        QVERIFY2(answers.mid(i - 1, 1) == "+" ? gap < 500 : gap >= 1400, qPrintable(QString("request %1 after %2 ms").arg(i).arg(gap)));
    }
    QVERIFY(!form.isPolling() && !form.pollingGuard()->retryPending() && !s.driver->isOpen);
}

void TestNCPSForm::valueAndBubbleRules()
{
    ActivatorWidget widget;
    QSignalSpy changed(&widget, &ActivatorWidget::valueChanged);
    QSignalSpy bubbleChanged(&widget, &ActivatorWidget::bubbleValueChanged);
    // The value, the activator and maximum bubbles, then every value and bubble signal so far.
    auto state = [&] {
        QString text = QString("%1 %2 %3 |").arg(widget.value()).arg(widget.bubbleValue(ActivatorWidget::ActivatorBubble))
                           .arg(widget.bubbleValue(ActivatorWidget::MaximumBubble));
        for (const QList<QVariant> &args : changed)
            text += " " + args.at(0).toString();
        text += " |";
        for (const QList<QVariant> &args : bubbleChanged)
            text += QString(" %1:%2").arg(int(args.at(0).value<ActivatorWidget::BubbleType>())).arg(args.at(1).toInt());
        return text;
    };
    // Limited to the range; the activator bubble follows.
    widget.setValue(150);
    QCOMPARE(state(), QString("100 100 0 | 100 | 2:100"));
    // Out of range again, and limited to what it already is: nothing changes, nothing is sent.
    widget.setValue(150);
    widget.setValue(100);
    QCOMPARE(state(), QString("100 100 0 | 100 | 2:100"));
    // Moving the activator bubble moves the value, once.
    widget.setBubbleValue(ActivatorWidget::ActivatorBubble, 20);
    QCOMPARE(state(), QString("20 20 0 | 100 20 | 2:100 2:20"));
    // Marker bubbles are limited like the value, the same way twice, and leave the value alone.
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 500);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 500);
    QCOMPARE(state(), QString("20 20 100 | 100 20 | 2:100 2:20 1:100"));
    // A maximum below the minimum collapses the range onto the minimum; the value follows.
    changed.clear();
    widget.setRange(10, 5);
    QCOMPARE(QString("%1 %2 %3").arg(widget.minimum()).arg(widget.maximum()).arg(widget.value()), QString("10 10 10"));
    widget.setValue(3);
    widget.setRange(-15800, 15800);
    QCOMPARE(changed.count(), 1);
}

void TestNCPSForm::bubbleLabelsPlaceAndScale()
{
    ActivatorWidget widget;
    const int pictureHeight = widget.renderer()->defaultSize().height();
    QVERIFY(pictureHeight > 0 && pictureHeight % 4 == 0);
    widget.resize(500, 200);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QLabel *label = widget.bubbleLabel(ActivatorWidget::ActivatorBubble);
    const int lw = label->width();
    QVERIFY(lw > 30 && lw < 250);

    // 500 pixels, 6 % margins. Near an edge the bubble opens towards the middle, in between it keeps its
    // image; the tail sits at 88 % of the R image's width, 12 % of the L image's.
    const struct { int value, pixel; bool left; } steps[] = {{0, 30, true}, {50, 250, true}, {100, 470, false}, {50, 250, false}};
    for (const auto &step : steps) {
        widget.setValue(step.value);
        QCOMPARE(widget.valueToPixel(step.value), step.pixel);
        QVERIFY(label->styleSheet().contains(step.left ? ActivatorWidget::LeftBubbleImage : ActivatorWidget::RightBubbleImage));
        QCOMPARE(label->x(), step.pixel - static_cast<int>(lw * (step.left ? 1 - 0.88 : 0.88)));
        // The activator bubble's bottom edge at 40 % of the height, the markers' at 51 %.
        QCOMPARE(label->geometry().bottom() + 1, 80);
    }
    QLabel *minimumLabel = widget.bubbleLabel(ActivatorWidget::MinimumBubble);
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 60);
    QCOMPARE(minimumLabel->geometry().bottom() + 1, 102);

    // The labels' font: 9 points at the picture's height, scaled down below it, never up; collapsed
    // to nothing, still a usable size.
    auto fontAt = [&](int height) {
        widget.resize(600, height);
        QCoreApplication::processEvents();
        return label->font().pointSizeF();
    };
    QCOMPARE(fontAt(pictureHeight / 2), 4.5);
    QCOMPARE(widget.bubbleLabel(ActivatorWidget::MinimumBubble)->font().pointSizeF(), 4.5);
    const int smallWidth = label->width();
    QCOMPARE(fontAt(pictureHeight * 2), 9.0);
    QVERIFY(label->width() > smallWidth);  // fitted to its text again
    QVERIFY(fontAt(0) > 0);
}

void TestNCPSForm::activatorLineOrWarningOnImage()
{
    ActivatorWidget widget;
    widget.resize(500, 200);
    for (auto type : {ActivatorWidget::MinimumBubble, ActivatorWidget::MaximumBubble, ActivatorWidget::ActivatorBubble})
        widget.setBubbleVisible(type, false);  // only the paint shows
    widget.setValue(25);

    // A dash-dot line in the value's column from 2/5 to 3/5 of the height, and nothing else red.
    Span line = red(widget);
    QVERIFY(line.count > 20 && red(widget, 80, 121).count == line.count);
    QCOMPARE(QPoint(line.first, line.last), QPoint(140, 140));

    // No activator: the warning centred across the width around 2/5 of the height, no line.
    widget.setActivatorVisible(false);
    const Span warning = red(widget);
    QVERIFY(warning.last - warning.first > 60 && qAbs((warning.first + warning.last) / 2 - 250) <= 3);
    QCOMPARE(red(widget, 40, 120).count, warning.count);
    widget.setNoActivatorText(QString());
    QCOMPARE(red(widget).count, 0);

    // A one-value range paints the line in the middle.
    widget.setActivatorVisible(true);
    widget.setRange(10, 10);
    QCOMPARE(widget.valueToPixel(-100000), 250);
    line = red(widget);
    QVERIFY(line.count > 20);
    QCOMPARE(QPoint(line.first, line.last), QPoint(250, 250));
}

QTEST_MAIN(TestNCPSForm)
#include "tst_ncpsform.moc"
